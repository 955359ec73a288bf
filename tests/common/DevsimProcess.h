#pragma once

#include <QHash>
#include <QObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

#include <initializer_list>

// Runs the device simulator (devsim) for a test.
//
//   DevsimProcess sim;
//   const quint16 port = DevsimProcess::anyDiscoveryPort();
//   sim.setDiscoveryPort(port);                     // optional, before start()
//   QVERIFY2(sim.start({"--uid", "CAM1", "--password", "pw"}), qPrintable(sim.errorText()));
//   DevsimProcess::pointClientAt({&sim}, port);     // before the P2P library starts
//   ... talk to it through the P2P C surface ...
//   QVERIFY(sim.waitForLine(QRegularExpression("^IOCTRL CAM1 \\S+ 0x01ff "), 10000));
//   const int mark = sim.lineCount();          // only what comes after this point:
//   QVERIFY(sim.waitForLineFrom(mark, QRegularExpression("^TALK_CLOSE "), 10000) >= 0);
//
// start() runs devsim with --watch-stdin (so it ends if the test dies) and the given arguments,
// and waits for one "READY <uid> <port>" line per device; uids(), port() and peersEnv()
// come from them. Every stdout line is kept (lines()); devsim's stderr goes to the test's
// stderr. The destructor stops devsim with SIGTERM and kills it if it does not end in time.
// Use from the thread that created the object (the test's main thread).
class DevsimProcess : public QObject
{
    Q_OBJECT

public:
    explicit DevsimProcess(QObject *parent = nullptr);
    ~DevsimProcess() override;

    // The devsim executable (the ORVANE_DEVSIM_PATH compile definition).
    static QString executable();

    // Environment for the process; set before start().
    void setEnvironmentValue(const QString &name, const QString &value);
    void setDiscoveryPort(quint16 port); // ORVANE_P2P_DISCOVERY_PORT
    // A LAN-search port for one test run (42000-49999), so that parallel tests don't meet.
    static quint16 anyDiscoveryPort();
    // Points this process's P2P library at the started simulators: ORVANE_P2P_PEERS names
    // their devices and ORVANE_P2P_DISCOVERY_PORT is discoveryPort.
    static void pointClientAt(std::initializer_list<const DevsimProcess *> sims,
                              quint16 discoveryPort);

    // Starts devsim with `arguments` and waits until `devices` READY lines arrived.
    // False (see errorText()) when it could not start, ended, or timed out.
    bool start(const QStringList &arguments, int devices = 1, int timeoutMs = 20000);

    QStringList uids() const { return m_uids; }
    quint16 port(const QString &uid) const { return m_ports.value(uid, 0); }
    // "UID@127.0.0.1:port;UID@127.0.0.1:port" for ORVANE_P2P_PEERS.
    QString peersEnv() const;

    // All stdout lines so far (without line ends).
    QStringList lines();
    int lineCount() { return lines().size(); }
    // Waits until some line (old or new) matches `re`; false on time-out or when devsim ended
    // without such a line. *match receives the match.
    bool waitForLine(const QRegularExpression &re, int timeoutMs,
                     QRegularExpressionMatch *match = nullptr);
    // Like waitForLine(), looking only at lines with index >= fromLine (see lineCount());
    // returns the index of the line, or -1.
    int waitForLineFrom(int fromLine, const QRegularExpression &re, int timeoutMs,
                        QRegularExpressionMatch *match = nullptr);
    // Lines with index >= fromLine that match.
    QStringList matchingLines(const QRegularExpression &re, int fromLine = 0);

    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    // SIGTERM (Windows: kill), then wait up to timeoutMs; kills when it does not end.
    // True when devsim ended by itself with status 0.
    bool stop(int timeoutMs = 10000);
    // Ends devsim at once (SIGKILL), as if the device lost power.
    void kill();

    QString errorText() const { return m_error; }
    QProcess &process() { return m_process; }

private:
    void readOutput();
    bool pump(int timeoutMs);

    QProcess m_process;
    QByteArray m_partial;
    QStringList m_lines;
    QStringList m_uids;
    QHash<QString, quint16> m_ports;
    QString m_error;
};
