#include "view/CellStatus.h"

#include "link/DeviceLink.h"
#include "model/Channel.h"
#include "model/Device.h"
#include "view/GlWidgetViewWindow.h"
#include "view/ViewControl.h"

#include <QCoreApplication>
#include <QTime>

CellStatus::CellStatus(ViewControl *view)
    : QObject(view)
    , m_view(view)
{
    m_refresh.setInterval(1000);
    connect(&m_refresh, &QTimer::timeout, this, &CellStatus::showOffline);
}

void CellStatus::showOffline()
{
    bool waiting = false;
    for (GlWidgetViewWindow *w : m_view->windows()) {
        Device *d = w->device();
        if (!w->hasChannel() || !d || d->linkState() != Device::LinkState::Offline)
            continue;
        waiting = true;
        QString text = QCoreApplication::translate("ViewControl", "离线 — 正在重新连接…");
        if (const int ms = m_view->linkOf(d)->reconnectDelayMs(d); ms > 0)
            text += QLatin1Char('\n') +
                    QCoreApplication::translate("ViewControl", "下次尝试 %1")
                        .arg(QTime::currentTime().addMSecs(ms).toString(u"HH:mm:ss"));
        w->setStatus(text);
    }
    if (waiting && !m_refresh.isActive())
        m_refresh.start();
    else if (!waiting)
        m_refresh.stop();
}

void CellStatus::showNoVideo(Channel *channel, bool live)
{
    if (GlWidgetViewWindow *w = m_view->cellOf(channel); w && live == m_view->isLive())
        w->setStatus(QCoreApplication::translate("ViewControl", "无视频"));
}

bool CellStatus::showRefused(Channel *channel, int code, const QString &reason, bool wholeDevice)
{
    if (!channel || !m_view->linkOf(channel)->waitsForUser(code))
        return false;
    Device *device = channel->device();
    QString text = QCoreApplication::translate("ViewControl", "已被设备拒绝 — 请编辑设备");
    // The reason when it fits a cell; the alert has it anyway.
    if (!reason.isEmpty() && reason.size() <= 80)
        text += QLatin1Char('\n') + reason;
    for (GlWidgetViewWindow *w : m_view->windows()) {
        if (w->hasChannel() && w->device() == device && (wholeDevice || w->channel() == channel))
            w->setStatus(text);
    }
    return true;
}

void CellStatus::retry(Device *device)
{
    if (!device || !m_view->isLive())
        return;
    if (device->linkState() == Device::LinkState::Offline) {
        m_view->linkOf(device)->reconnectNow(device);
        return;
    }
    for (GlWidgetViewWindow *w : m_view->windows()) {
        Channel *ch = w->channel();
        if (!w->hasChannel() || w->device() != device || ch->avIndex(true) >= 0)
            continue;
        w->setStatus(QString());
        w->showWaiting(ch);
        m_view->prepareChannel(ch, false);
    }
}
