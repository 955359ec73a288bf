#include "devtree/DevMenu.h"

#include "devtree/DevMenuItem.h"
#include "diagnostics/SystemInfo.h"
#include "link/DeviceLink.h"
#include "link/DeviceLinks.h"
#include "link/DeviceEvents.h"
#include "link/DeviceLink.h"
#include "link/DeviceLinks.h"
#include "model/Channel.h"
#include "model/Device.h"
#include "view/ViewControl.h"

#include <QLabel>
#include <QPainter>
#include <QStyleOption>
#include <QVBoxLayout>

namespace {

const char *const ItemTextStyle = "color: #4e525a;font-size:12px;font-family: \"微软雅黑\";";

int channelLimit(const Device *d)
{
    return qMin(d->channelCount(), int(d->channels().size()));
}

} // namespace

DevMenu::DevMenu(QWidget *parent)
    : QWidget(parent)
    , m_events(DeviceLinks::events())
    , m_view(ViewControl::instance())
    , m_systemInfo(SystemInfo::instance())
{
    setObjectName(QStringLiteral("DevMenu"));
    setStyleSheet(QStringLiteral("#DevMenu{background-color:#ffffff;border:1px solid #c8cacd}"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 5, 0, 5);
    layout->setSpacing(0);

    m_play = addItem("widget_play", tr("播放"), &DevMenu::play);
    m_stop = addItem("widget_stop", tr("停止"), &DevMenu::stop);
    m_allPlay = addItem("widget_allplay", tr("全部播放"), &DevMenu::allPlay);
    m_allStop = addItem("widget_allstop", tr("全部停止"), &DevMenu::allStop);
    m_sd = addItem("widget_sd", tr("标清"), &DevMenu::changeSD);
    m_hd = addItem("widget_hd", tr("高清"), &DevMenu::changeHD);
    m_sound = addItem("widget_sound", tr("接收音频"), &DevMenu::audioOpen);
    m_soundStop = addItem("widget_soundstop", tr("静音"), &DevMenu::audioClose);
    m_speech = addItem("widget_speech", tr("发起对讲"), &DevMenu::audioSendChange);
    m_edit = addItem("widget_editDevice", tr("编辑设备"), &DevMenu::openEdit);
    m_restart = addItem("widget_restart", tr("重置连接"), &DevMenu::restart);
    layout->addStretch(1);

    m_playPoint = m_play->addMarker(QStringLiteral("label_playPoint"));
    m_stopPoint = m_stop->addMarker(QStringLiteral("label_stopPoint"));
    m_sdMark = m_sd->addMarker(QStringLiteral("label_sd"));
    m_hdMark = m_hd->addMarker(QStringLiteral("label_hd"));
    m_audioAble = m_sound->addMarker(QStringLiteral("label_audioAble"));
    m_audioDisable = m_soundStop->addMarker(QStringLiteral("label_audioDisable"));
    m_speechAble = m_speech->addMarker(QStringLiteral("label_speechAble"));

    connect(m_events, &DeviceEvents::videoRequestSuccessMsg, this, &DevMenu::videoRequestSuccess);
    connect(m_events, &DeviceEvents::changeQualitySuccessMsg, this, &DevMenu::changeQualitySuccess);
    connect(m_events, &DeviceEvents::audioControlSuccessMsg, this, &DevMenu::audioControlSuccess);
}

DevMenuItem *DevMenu::addItem(const char *name, const QString &text, void (DevMenu::*slot)())
{
    auto *item = new DevMenuItem(QString::fromLatin1(name), text, this);
    connect(item, &DevMenuItem::clicked, this, [this, slot] { (this->*slot)(); });
    layout()->addWidget(item);
    return item;
}

DevMenuItem *DevMenu::item(const QString &objectName) const
{
    return findChild<DevMenuItem *>(objectName);
}

QStringList DevMenu::shownItems() const
{
    QStringList names;
    for (DevMenuItem *i : {m_play, m_stop, m_allPlay, m_allStop, m_sd, m_hd, m_sound, m_soundStop,
                           m_speech, m_edit, m_restart})
        if (!i->isHidden())
            names.append(i->objectName());
    return names;
}

bool DevMenu::markerShown(const QString &objectName) const
{
    const QLabel *marker = findChild<QLabel *>(objectName);
    return marker && !marker->isHidden();
}

void DevMenu::showMarkers(QLabel *on, QLabel *off, bool first)
{
    on->setVisible(first);
    off->setVisible(!first);
}

void DevMenu::updatePlayMarkers(bool requested)
{
    showMarkers(m_playPoint, m_stopPoint, requested);
}

void DevMenu::updateQualityMarkers()
{
    if (m_channel)
        showMarkers(m_hdMark, m_sdMark, m_channel->quality(true));
}

void DevMenu::updateAudioMarkers()
{
    if (m_channel)
        showMarkers(m_audioAble, m_audioDisable, m_channel->audioOn(m_view->isLive()));
}

void DevMenu::load(Device *device, Channel *channel)
{
    m_device = device;
    m_channel = channel;
    const bool live = m_view->isLive();
    const bool withChannel = channel != nullptr;

    // Only what the device can do: sound, talk and playback where its link
    // offers them.
    const bool sound = DeviceLinks::has(device, DeviceLink::Sound);
    const bool playable = live || DeviceLinks::has(device, DeviceLink::Playback);
    for (DevMenuItem *i : {m_play, m_stop})
        i->setVisible(withChannel && playable);
    for (DevMenuItem *i : {m_sd, m_hd})
        i->setVisible(withChannel);
    for (DevMenuItem *i : {m_sound, m_soundStop})
        i->setVisible(withChannel && sound);
    m_speech->setVisible(withChannel && DeviceLinks::has(device, DeviceLink::Talk));
    m_allPlay->setVisible(!withChannel && live);
    m_allStop->setVisible(!withChannel);
    m_edit->setVisible(device != nullptr);
    m_restart->setVisible(device != nullptr);

    if (!channel)
        return;
    updatePlayMarkers(channel->viewRequested(live));
    updateAudioMarkers();
    if (live) {
        updateQualityMarkers();
        m_speechAble->setVisible(channel->talking());
    } else {
        m_sd->hide();
        m_hd->hide();
        m_speech->hide();
    }
}

void DevMenu::place(int x, int y)
{
    const double s = m_systemInfo->scale();
    const QString textStyle = m_systemInfo->scaleStyleSheet(QString::fromUtf8(ItemTextStyle));
    int shown = 0;
    for (DevMenuItem *i : findChildren<DevMenuItem *>(Qt::FindDirectChildrenOnly)) {
        i->applyScale(s, textStyle);
        if (!i->isHidden())
            ++shown;
    }
    // Room for every entry offered, whatever the mode.
    const int extra = int((m_channel ? 10 : 14) * s);
    layout()->setContentsMargins(0, extra / 2, 0, extra - extra / 2);
    setGeometry(x, y, int(BaseWidth * s), shown * m_allPlay->height() + extra);
}

void DevMenu::finish()
{
    emit closeMenu();
    QMetaObject::invokeMethod(m_view, &ViewControl::closeMenu, Qt::QueuedConnection);
}

// ---- Actions ---------------------------------------------------------------

void DevMenu::play()
{
    if (m_channel) {
        if (m_view->isLive())
            m_view->prepareChannel(m_channel, false);
        else
            m_view->playReplay(m_channel, m_view->replayDateTime());
    }
    finish();
}

void DevMenu::stop()
{
    m_view->stopChannel(m_channel);
    finish();
}

void DevMenu::allPlay()
{
    if (m_device)
        for (int i = 0; i < channelLimit(m_device); ++i)
            m_view->prepareChannel(m_device->channel(i), false);
    finish();
}

void DevMenu::allStop()
{
    if (m_device)
        for (int i = 0; i < channelLimit(m_device); ++i)
            if (m_device->channel(i)->avIndex(true) >= 0)
                m_view->stopChannel(m_device->channel(i));
    finish();
}

void DevMenu::changeSD()
{
    if (m_channel)
        m_view->linkOf(m_channel)->changeQuality(m_channel, false);
}

void DevMenu::changeHD()
{
    if (m_channel)
        m_view->linkOf(m_channel)->changeQuality(m_channel, true);
}

void DevMenu::audioOpen()
{
    if (m_channel)
        m_view->linkOf(m_channel)->audioControl(m_channel, true);
}

void DevMenu::audioClose()
{
    if (m_channel)
        m_view->linkOf(m_channel)->audioControl(m_channel, false);
}

void DevMenu::audioSendChange()
{
    if (m_channel)
        m_view->linkOf(m_channel)->audioSendControl(m_channel, !m_channel->talking());
    finish();
}

void DevMenu::openEdit()
{
    m_view->openDevManage(m_device);
    finish();
}

void DevMenu::restart()
{
    m_view->closeDevice(m_device);
    finish();
}

void DevMenu::videoRequestSuccess(Channel *channel)
{
    if (channel && channel == m_channel)
        updatePlayMarkers(true);
}

void DevMenu::changeQualitySuccess(Channel *channel)
{
    if (channel && channel == m_channel)
        updateQualityMarkers();
}

void DevMenu::audioControlSuccess(Channel *channel)
{
    if (channel && channel == m_channel)
        updateAudioMarkers();
}

void DevMenu::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event)
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}
