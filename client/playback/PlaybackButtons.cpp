#include "playback/PlaybackButtons.h"

#include "link/DeviceEvents.h"
#include "link/DeviceLink.h"
#include "link/DeviceLinks.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "view/PlaybackSync.h"
#include "view/ViewControl.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyleOption>

namespace {
constexpr int NormalRecord = 5;
constexpr int FastRecord = 8;
} // namespace

PlaybackButton::PlaybackButton(QWidget *parent)
    : QLabel(parent)
    , m_events(DeviceLinks::events())
    , m_view(ViewControl::instance())
    , m_dev(Dev::instance())
{
    setCursor(Qt::PointingHandCursor);
}

void PlaybackButton::paintEvent(QPaintEvent *)
{
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}

void PlaybackButton::enterEvent(QEnterEvent *event)
{
    m_hovered = true;
    restyle();
    QLabel::enterEvent(event);
}

void PlaybackButton::leaveEvent(QEvent *event)
{
    m_hovered = false;
    restyle();
    QLabel::leaveEvent(event);
}

void PlaybackButton::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    restyle(); // the round faces follow the size the UI scale gives
}

QString PlaybackButton::image(const char *name) const
{
    return QStringLiteral(":/main/images/btnImg/%1%2.png")
        .arg(QLatin1String(name), m_hovered ? QStringLiteral("-hover") : QString());
}

QString PlaybackButton::roundFace(const char *colour, const char *imageName) const
{
    const int side = qMax(2, qMin(width(), height()));
    return QStringLiteral("border:1px solid #ccc;background:%1;border-radius:%2px;"
                          "padding:%3px;image:url(%4);")
        .arg(QLatin1String(colour))
        .arg(side / 2)
        .arg(side / 6)
        .arg(image(imageName));
}

Channel *PlaybackButton::selected() const
{
    return m_dev->selectedChannel();
}

void PlaybackButton::playGroup(Channel *ch)
{
    // The selected channel joins the grid's channels, and all of them start
    // at the timeline's moment.
    ch->setViewRequested(true, false);
    m_view->showChannel(ch);
    PlaybackSync::instance()->play(m_view->replayDateTime().toMSecsSinceEpoch());
}

bool PlaybackButton::groupSpeeds(Channel *ch, bool backward) const
{
    const int caps = m_view->linkOf(ch)->replayCaps(ch);
    return caps > 0 && (caps & (backward ? DeviceLink::ReplayReverse : DeviceLink::ReplaySpeeds));
}

void PlaybackButton::startPlayback(Channel *ch, bool startFlag, int recordType)
{
    int offset = 0;
    QDateTime start = m_view->recordStartBefore(&offset);
    // A device that cannot seek right after the start, or no recording
    // before the cursor: start at the cursor's moment (the device moves on
    // to the next recording when it lies in a gap).
    if (!start.isValid() || !m_view->linkOf(ch)->supportsStartSeek(ch)) {
        start = m_view->replayDateTime();
        offset = 0;
    }
    m_view->playReplay(ch, start, offset, startFlag, recordType);
}

PlayBtn::PlayBtn(QWidget *parent)
    : PlaybackButton(parent)
{
    restyle();
    connect(m_dev, &Dev::selectChannelMsg, this, &PlayBtn::loadPlayStatus);
    connect(m_view, &ViewControl::changeModMsg, this, &PlayBtn::loadPlayStatusForMode);
    for (auto signal :
         {&DeviceEvents::videoRequestSuccessMsg, &DeviceEvents::videoRequestStopSuccessMsg,
          &DeviceEvents::stopReplaySuccessMsg, &DeviceEvents::startReplaySuccessMsg})
        connect(m_events, signal, this, &PlayBtn::loadPlayStatus);
}

void PlayBtn::restyle()
{
    setStyleSheet(QStringLiteral("image:url(%1);background:rgba(0,0,0,0)")
                      .arg(image(m_playing ? "stop" : "play")));
    setScaledContents(m_playing);
}

void PlayBtn::loadPlayStatus(Channel *channel)
{
    if (!channel || channel != selected())
        return;
    m_playing = channel->videoOn(m_view->isLive());
    restyle();
}

void PlayBtn::loadPlayStatusForMode(bool live)
{
    if (Channel *ch = selected()) {
        m_playing = ch->videoOn(live);
        restyle();
    }
}

void PlayBtn::mouseReleaseEvent(QMouseEvent *event)
{
    Channel *ch = selected();
    if (event->button() == Qt::LeftButton && ch) {
        m_playing = !m_playing;
        restyle();
        if (m_view->isLive()) {
            if (!m_playing)
                m_view->stopChannel(ch);
            else
                m_view->prepareChannel(ch, false);
        } else if (!m_playing) {
            PlaybackSync::instance()->stop();
            m_view->stopChannel(ch);
        } else {
            playGroup(ch);
        }
    }
    QLabel::mouseReleaseEvent(event);
}

FastBtn::FastBtn(QWidget *parent)
    : PlaybackButton(parent)
{
    restyle();
    connect(this, &QObject::objectNameChanged, this, &FastBtn::restyle);
}

void FastBtn::restyle()
{
    const bool backward = objectName() == QLatin1String("label_icon_fb");
    const char *colour = !m_active ? "#ffffff" : backward ? "#ffaa00" : "#ff0000";
    setStyleSheet(roundFace(colour, backward ? "fast-backward" : "fast-forward"));
}

void FastBtn::mouseReleaseEvent(QMouseEvent *event)
{
    Channel *ch = selected();
    if (event->button() == Qt::LeftButton && ch) {
        m_active = !m_active;
        restyle();
        const bool backward = objectName() == QLatin1String("label_icon_fb");
        PlaybackSync *sync = PlaybackSync::instance();
        if (!m_view->isLive() && groupSpeeds(ch, backward)) {
            // Every channel of the grid at 4x, forward or backward.
            if (m_active && !sync->isRunning())
                playGroup(ch);
            sync->setSpeed(!m_active ? 8 : backward ? -32 : 32);
        } else if (!m_view->isLive()) {
            if (!m_active)
                m_view->stopChannel(ch);
            else
                startPlayback(ch, backward, FastRecord);
        }
    }
    QLabel::mouseReleaseEvent(event);
}

PauseBtn::PauseBtn(QWidget *parent)
    : PlaybackButton(parent)
{
    restyle();
    connect(m_view, &ViewControl::changeModMsg, this, &PauseBtn::loadPause);
}

void PauseBtn::restyle()
{
    setStyleSheet(roundFace(m_paused ? "#cccccc" : "#ffffff", "pause"));
    update();
}

void PauseBtn::loadPause()
{
    if (Channel *ch = selected()) {
        m_paused = ch->paused(false);
        restyle();
    }
}

void PauseBtn::mouseReleaseEvent(QMouseEvent *event)
{
    Channel *ch = selected();
    if (event->button() == Qt::LeftButton && ch) {
        m_paused = !m_paused;
        restyle();
        PlaybackSync *sync = PlaybackSync::instance();
        if (!m_view->isLive() && sync->isRunning()) {
            if (m_paused)
                sync->pause();
            else
                sync->resume();
        } else if (!m_view->isLive()) {
            if (m_paused)
                m_view->linkOf(ch)->pauseReplay(ch);
            else
                m_view->linkOf(ch)->resumeReplay(ch);
        }
    }
    QLabel::mouseReleaseEvent(event);
}
