#include "DevsimProcess.h"

#include <QDeadlineTimer>
#include <QProcessEnvironment>
#include <QRandomGenerator>

DevsimProcess::DevsimProcess(QObject *parent)
    : QObject(parent)
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &DevsimProcess::readOutput);
}

DevsimProcess::~DevsimProcess()
{
    if (isRunning())
        stop(5000);
}

QString DevsimProcess::executable()
{
#ifdef ORVANE_DEVSIM_PATH
    return QStringLiteral(ORVANE_DEVSIM_PATH);
#else
    return QString();
#endif
}

void DevsimProcess::setEnvironmentValue(const QString &name, const QString &value)
{
    QProcessEnvironment env = m_process.processEnvironment();
    env.insert(name, value);
    m_process.setProcessEnvironment(env);
}

void DevsimProcess::setDiscoveryPort(quint16 port)
{
    setEnvironmentValue(QStringLiteral("ORVANE_P2P_DISCOVERY_PORT"), QString::number(port));
}

quint16 DevsimProcess::anyDiscoveryPort()
{
    return quint16(42000 + QRandomGenerator::global()->bounded(8000));
}

void DevsimProcess::pointClientAt(std::initializer_list<const DevsimProcess *> sims,
                                  quint16 discoveryPort)
{
    QStringList peers;
    for (const DevsimProcess *sim : sims)
        peers << sim->peersEnv();
    qputenv("ORVANE_P2P_PEERS", peers.join(QLatin1Char(';')).toLatin1());
    qputenv("ORVANE_P2P_DISCOVERY_PORT", QByteArray::number(discoveryPort));
}

bool DevsimProcess::start(const QStringList &arguments, int devices, int timeoutMs)
{
    const QString program = executable();
    if (program.isEmpty()) {
        m_error = QStringLiteral("devsim was not built (ORVANE_DEVSIM_PATH undefined)");
        return false;
    }
    // One key folder for the devsims of every test of this build: a device
    // started again keeps its key, as a real one does, so the pins that the
    // client keeps in the tests' settings hold.
    QStringList args{QStringLiteral("--watch-stdin")};
#ifdef ORVANE_DEVSIM_STATE_DIR
    if (!arguments.contains(QStringLiteral("--state-dir")))
        args << QStringLiteral("--state-dir") << QStringLiteral(ORVANE_DEVSIM_STATE_DIR);
#endif
    // devsim ends when our end of its standard input closes, also when this process dies.
    m_process.start(program, args + arguments);
    if (!m_process.waitForStarted(timeoutMs)) {
        m_error = QStringLiteral("devsim did not start: ") + m_process.errorString();
        return false;
    }
    static const QRegularExpression ready(QStringLiteral("^READY (\\S+) (\\d+)$"));
    QDeadlineTimer deadline(timeoutMs);
    int from = 0;
    while (m_uids.size() < devices) {
        QRegularExpressionMatch match;
        const int index =
            waitForLineFrom(from, ready, static_cast<int>(deadline.remainingTime()), &match);
        if (index < 0) {
            m_error = isRunning()
                          ? QStringLiteral("devsim sent no READY line in time")
                          : QStringLiteral("devsim ended (exit code %1)").arg(m_process.exitCode());
            if (isRunning())
                kill();
            return false;
        }
        m_uids << match.captured(1);
        m_ports.insert(match.captured(1), static_cast<quint16>(match.captured(2).toUInt()));
        from = index + 1;
    }
    return true;
}

QString DevsimProcess::peersEnv() const
{
    QStringList peers;
    for (const QString &uid : m_uids)
        peers << QStringLiteral("%1@127.0.0.1:%2").arg(uid).arg(m_ports.value(uid));
    return peers.join(QLatin1Char(';'));
}

void DevsimProcess::readOutput()
{
    m_partial += m_process.readAllStandardOutput();
    int newline;
    while ((newline = m_partial.indexOf('\n')) >= 0) {
        QByteArray line = m_partial.left(newline);
        m_partial.remove(0, newline + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        // ORVANE_DEVSIM_ECHO=1: what devsim says goes to the test's output too.
        static const bool echo = qEnvironmentVariableIntValue("ORVANE_DEVSIM_ECHO") != 0;
        if (echo && !line.startsWith("FRAMES"))
            qInfo("devsim: %s", line.constData());
        m_lines << QString::fromUtf8(line);
    }
}

bool DevsimProcess::pump(int timeoutMs)
{
    if (m_process.state() == QProcess::NotRunning) {
        readOutput();
        return false;
    }
    const bool got = m_process.waitForReadyRead(timeoutMs);
    readOutput();
    return got;
}

QStringList DevsimProcess::lines()
{
    pump(0);
    return m_lines;
}

bool DevsimProcess::waitForLine(const QRegularExpression &re, int timeoutMs,
                                QRegularExpressionMatch *match)
{
    return waitForLineFrom(0, re, timeoutMs, match) >= 0;
}

int DevsimProcess::waitForLineFrom(int fromLine, const QRegularExpression &re, int timeoutMs,
                                   QRegularExpressionMatch *match)
{
    QDeadlineTimer deadline(timeoutMs);
    int next = qMax(0, fromLine);
    pump(0); // take in what devsim wrote so far, also when timeoutMs is 0
    for (;;) {
        for (; next < m_lines.size(); ++next) {
            const QRegularExpressionMatch m = re.match(m_lines.at(next));
            if (m.hasMatch()) {
                if (match)
                    *match = m;
                return next;
            }
        }
        if (deadline.hasExpired())
            return -1;
        if (!isRunning()) {
            readOutput();
            if (next >= m_lines.size())
                return -1;
            continue;
        }
        pump(static_cast<int>(qMin<qint64>(deadline.remainingTime(), 100)));
    }
}

QStringList DevsimProcess::matchingLines(const QRegularExpression &re, int fromLine)
{
    QStringList out;
    const QStringList all = lines();
    for (int i = qMax(0, fromLine); i < all.size(); ++i) {
        if (re.match(all.at(i)).hasMatch())
            out << all.at(i);
    }
    return out;
}

bool DevsimProcess::stop(int timeoutMs)
{
    if (!isRunning())
        return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
    m_process.terminate();
    if (!m_process.waitForFinished(timeoutMs)) {
        m_process.kill();
        m_process.waitForFinished(timeoutMs);
        readOutput();
        return false;
    }
    readOutput();
    return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
}

void DevsimProcess::kill()
{
    if (!isRunning())
        return;
    m_process.kill();
    m_process.waitForFinished(5000);
    readOutput();
}
