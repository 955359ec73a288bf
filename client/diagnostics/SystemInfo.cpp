#include "diagnostics/SystemInfo.h"

#include "diagnostics/DebugEvent.h"
#include "diagnostics/MessageHandler.h"
#include "diagnostics/PlatformInfo.h"
#include "model/SharedInstance.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QScreen>
#include <QSysInfo>
#include <QThread>
#include <QTime>

#include <algorithm>

SystemInfo *SystemInfo::instance()
{
    return SharedInstance<SystemInfo>::get([] {
        auto *created = new SystemInfo;
        // The message handler may create the instance from a worker thread;
        // events and signals belong to the GUI thread.
        if (QCoreApplication *app = QCoreApplication::instance()) {
            if (created->thread() != app->thread())
                created->moveToThread(app->thread());
        }
        return created;
    });
}

SystemInfo::SystemInfo(QObject *parent)
    : QObject(parent)
    , m_version(QStringLiteral("1.7.1.209"))
{}

QString SystemInfo::osDescription() const
{
    return QSysInfo::prettyProductName() + QLatin1Char(' ') +
           (PlatformInfo::is64BitSystem() ? tr("64位") : tr("32位"));
}

QString SystemInfo::gpuDescription() const
{
    return PlatformInfo::graphicsAdapters().join(QLatin1Char('\n'));
}

void SystemInfo::setScale(double scale)
{
    m_scale = std::max(1.0, scale);
}

double SystemInfo::screenScale()
{
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return 1.0;
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return 1.0;
    return std::max(1.0, screen->logicalDotsPerInch() / 96.0);
}

int SystemInfo::fontSize(int sizeClass) const
{
    qint32 base = m_normalFont;
    if (sizeClass == Small)
        base = m_smallFont;
    else if (sizeClass == Large)
        base = m_largeFont;
    return int(base * m_scale);
}

QString SystemInfo::scaleFontSheet(const QString &sheet, int sizeClass) const
{
    static const QRegularExpression pattern(QStringLiteral("font-size:\\s*\\d+(\\.\\d+)?px"));
    QString result = sheet;
    result.replace(pattern, QStringLiteral("font-size:") + QString::number(fontSize(sizeClass)) +
                                QStringLiteral("px"));
    return result;
}

QString SystemInfo::scaleRadiusSheet(const QString &sheet) const
{
    static const QRegularExpression radius(QStringLiteral("border-radius:\\s*(\\d+(\\.\\d+)?)px"));
    QString result;
    qsizetype last = 0;
    auto it = radius.globalMatch(sheet);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        result += QStringView(sheet).mid(last, m.capturedStart() - last);
        result += QStringLiteral("border-radius:") +
                  QString::number(int(m.captured(1).toDouble() * m_scale)) + QStringLiteral("px");
        last = m.capturedEnd();
    }
    result += QStringView(sheet).mid(last);
    return result;
}

QString SystemInfo::scaleStyleSheet(const QString &sheet) const
{
    QString result = scaleFontSheet(sheet, Normal);
    result.replace(QStringLiteral("微软雅黑"), QStringLiteral("HELVETICA NEUE"));
    return result;
}

QSize SystemInfo::scaledMaximumSize(const QSize &size) const
{
    const int w = size.width() >= UnlimitedSize ? size.width() : scaled(size.width());
    const int h = size.height() >= UnlimitedSize ? size.height() : scaled(size.height());
    return QSize(w, h);
}

QSize SystemInfo::scaledMinimumSize(const QSize &size) const
{
    return QSize(scaled(size.width()), scaled(size.height()));
}

QPoint SystemInfo::scaledPos(const QPoint &pos, int xShift) const
{
    return QPoint(int((pos.x() + xShift) * m_scale), int(pos.y() * m_scale));
}

bool SystemInfo::event(QEvent *event)
{
    if (event->type() == DebugEvent_getDebug::EventType) {
        auto *e = static_cast<DebugEvent_getDebug *>(event);
        const QString line = debugPageLine(e->msgType, e->text, QTime::currentTime());
        if (!line.isEmpty()) {
            m_backlog.append(line);
            if (m_backlog.size() > BacklogLimit)
                m_backlog.remove(0, m_backlog.size() - BacklogLimit);
        }
        emit debugMsg(e->msgType, e->text);
        return true;
    }
    return QObject::event(event);
}
