#include "diagnostics/MessageHandler.h"

#include "diagnostics/DebugEvent.h"
#include "diagnostics/LogMask.h"
#include "diagnostics/SystemInfo.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

QString debugPageLine(QtMsgType type, const QString &text, const QTime &time)
{
    const char *tag = nullptr;
    switch (type) {
    case QtDebugMsg:
        tag = "[DEBUG-";
        break;
    case QtWarningMsg:
        tag = "[WARNING-";
        break;
    case QtCriticalMsg:
        tag = "[CRITICAL-";
        break;
    case QtFatalMsg:
        tag = "[FATAL-";
        break;
    case QtInfoMsg:
        tag = "[INFO-";
        break;
    }
    if (!tag)
        return QString();
    return QLatin1String(tag) + time.toString(Qt::TextDate) + QLatin1Char(']') + text;
}

QByteArray standardErrorLine(QtMsgType type, const QString &text)
{
    const char *prefix = nullptr;
    switch (type) {
    case QtDebugMsg:
        prefix = "Debug: ";
        break;
    case QtWarningMsg:
        prefix = "Warning: ";
        break;
    case QtCriticalMsg:
        prefix = "Critical: ";
        break;
    case QtFatalMsg:
        prefix = "Fatal: ";
        break;
    case QtInfoMsg:
        prefix = "Info: ";
        break;
    }
    if (!prefix)
        return QByteArray();
    return QByteArray(prefix) + text.toLocal8Bit() + '\n';
}

void orvaneMessageHandler(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    const QString text = maskSecrets(QString::fromLocal8Bit(message.toLocal8Bit()));
    if (QCoreApplication::instance())
        QCoreApplication::postEvent(SystemInfo::instance(), new DebugEvent_getDebug(type, text));
    const QByteArray line = standardErrorLine(type, text);
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
    if (type == QtFatalMsg)
        std::abort();
}

void installMessageHandler()
{
    SystemInfo::instance();
    qInstallMessageHandler(orvaneMessageHandler);
}
