#include "view/PlaybackSync.h"

#include "diagnostics/Checks.h"
#include "link/DeviceEvents.h"
#include "link/DeviceLink.h"
#include "link/DeviceLinks.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "view/GlWidgetViewWindow.h"
#include "view/ViewControl.h"

#include <QDateTime>

namespace {

constexpr int NormalRecord = 5;

// The moment as the local date-time the links' playback commands take.
QDateTime localOf(qint64 utcMs)
{
    return QDateTime::fromMSecsSinceEpoch(utcMs).toLocalTime();
}

} // namespace

PlaybackSync *PlaybackSync::instance()
{
    static PlaybackSync *shared =
        new PlaybackSync(ViewControl::instance(), Dev::instance(), ViewControl::instance());
    return shared;
}

PlaybackSync::PlaybackSync(ViewControl *view, Dev *dev, QObject *parent)
    : QObject(parent)
    , m_view(view)
    , m_dev(dev)
{
    m_wall.start();
    m_timer.setInterval(CheckMs);
    connect(&m_timer, &QTimer::timeout, this, &PlaybackSync::check);
    DeviceEvents *events = DeviceLinks::events();
    connect(events, &DeviceEvents::replayBusyMsg, this, &PlaybackSync::onBusy);
    connect(events, &DeviceEvents::startReplaySuccessMsg, this, [this](Channel *ch) {
        const auto it = m_members.find(ch);
        if (it == m_members.end() || !it->awaitingStart)
            return;
        it->awaitingStart = false;
        it->lastShown = ch->slot(false).shownRecordMs.load();
    });
}

QString PlaybackSync::noRecordingText()
{
    return tr("no recording");
}

QString PlaybackSync::busyText()
{
    return tr("This device plays back one channel at a time");
}

QList<Channel *> PlaybackSync::channels() const
{
    QList<Channel *> out;
    for (GlWidgetViewWindow *w : m_view->windows()) {
        Channel *ch = w->channel();
        if (ch && !out.contains(ch) && DeviceLinks::has(ch->device(), DeviceLink::Playback))
            out.append(ch);
        if (out.size() == MaxChannels)
            break;
    }
    return out;
}

qint64 PlaybackSync::clockMs() const
{
    if (!m_running)
        return -1;
    if (!m_anchored || m_paused)
        return m_anchorMs;
    return m_anchorMs + (now() - m_anchorWall) * m_speed / 8;
}

PlaybackSync::State PlaybackSync::state(const Channel *ch) const
{
    const auto it = m_members.constFind(const_cast<Channel *>(ch));
    return it == m_members.constEnd() ? State::Idle : it->state;
}

void PlaybackSync::setCellText(Channel *ch, const QString &text)
{
    if (GlWidgetViewWindow *cell = m_view->cellOf(ch))
        cell->setStatus(text);
}

void PlaybackSync::start(Channel *ch, qint64 utcMs)
{
    Member &m = m_members[ch];
    m.state = State::Starting;
    m.awaitingStart = true;
    m.lastShown = 0;
    ch->slot(false).shownRecordMs.store(0);
    setCellText(ch, QString());
    DeviceLink *link = m_view->linkOf(ch);
    link->queryReplayCaps(ch);
    if (ch->videoOn(false) || ch->avIndex(false) >= 0) {
        link->stopReplay(ch, true, localOf(utcMs));
    } else {
        ch->setPaused(false, false);
        // A device that seeks right after a start is started at the
        // recording's beginning and seeks into it (as the play button does).
        QDateTime start = localOf(utcMs);
        int offset = 0;
        if (link->supportsStartSeek(ch)) {
            const qint64 at = utcMs / 1000;
            for (const QList<int> &item : ch->recordTimes()) {
                if (item.size() >= 3 && at >= item[2] && at < qint64(item[2]) + item[1]) {
                    start = QDateTime::fromSecsSinceEpoch(item[2]);
                    offset = int(at - item[2]);
                    break;
                }
            }
        }
        m_view->playReplay(ch, start, offset, true, NormalRecord);
    }
    if (m_speed != 8)
        link->setReplaySpeed(ch, m_speed);
}

void PlaybackSync::rearm(qint64 utcMs)
{
    m_anchored = false;
    m_rearmWall = now();
    m_anchorMs = utcMs;
    for (Member &m : m_members)
        m.lastShown = 0;
    for (Channel *ch : channels())
        if (m_members.contains(ch))
            m_members[ch].lastShown = ch->slot(false).shownRecordMs.load();
    emit positionChanged(utcMs);
}

void PlaybackSync::startAll(qint64 utcMs)
{
    m_members.clear();
    rearm(utcMs);
    for (Channel *ch : channels())
        start(ch, utcMs);
    m_timer.start();
    emit stateChanged();
}

void PlaybackSync::play(qint64 utcMs)
{
    ORVANE_ASSERT_GUI_THREAD();
    m_running = true;
    m_paused = false;
    startAll(utcMs);
}

void PlaybackSync::stop()
{
    ORVANE_ASSERT_GUI_THREAD();
    for (Channel *ch : channels()) {
        if (!m_members.contains(ch))
            continue;
        setCellText(ch, QString());
        ch->setViewRequested(false, false);
        ch->setPaused(false, false);
        m_view->linkOf(ch)->stopReplay(ch, false, QDateTime());
    }
    m_members.clear();
    m_running = false;
    m_paused = false;
    m_anchored = false;
    m_timer.stop();
    emit stateChanged();
}

void PlaybackSync::pause()
{
    if (!m_running || m_paused)
        return;
    m_anchorMs = clockMs();
    m_paused = true;
    for (Channel *ch : channels()) {
        auto it = m_members.find(ch);
        if (it == m_members.end())
            continue;
        if (it->state == State::Playing || it->state == State::Starting)
            m_view->linkOf(ch)->pauseReplay(ch);
    }
    emit stateChanged();
}

void PlaybackSync::resume()
{
    if (!m_running || !m_paused)
        return;
    m_paused = false;
    rearm(m_anchorMs);
    for (Channel *ch : channels()) {
        auto it = m_members.find(ch);
        if (it == m_members.end())
            continue;
        if (it->state == State::Playing || it->state == State::Starting) {
            it->state = State::Starting;
            m_view->linkOf(ch)->resumeReplay(ch);
        }
    }
    emit stateChanged();
}

void PlaybackSync::seek(qint64 utcMs)
{
    if (!m_running) {
        play(utcMs);
        return;
    }
    const bool paused = m_paused;
    m_paused = false;
    startAll(utcMs);
    if (paused)
        pause();
}

void PlaybackSync::setSpeed(int eighths)
{
    if (eighths == m_speed || eighths == 0)
        return;
    const qint64 at = clockMs();
    m_speed = eighths;
    if (!m_running)
        return;
    rearm(at);
    for (Channel *ch : channels()) {
        auto it = m_members.find(ch);
        if (it == m_members.end() || it->state == State::Busy)
            continue;
        it->state = it->state == State::Playing ? State::Starting : it->state;
        m_view->linkOf(ch)->setReplaySpeed(ch, eighths);
    }
    emit stateChanged();
}

void PlaybackSync::step(int direction)
{
    if (!m_running || !m_paused || direction == 0)
        return;
    // Every channel steps to the same moment: one picture on from the
    // selected channel's (else the first one's), or just before it.
    const QList<Channel *> shown = channels();
    Channel *reference = nullptr;
    for (Channel *ch : shown) {
        const auto it = m_members.constFind(ch);
        if (it == m_members.constEnd() || it->state == State::Busy ||
            ch->slot(false).shownRecordMs.load() <= 0)
            continue;
        if (!reference || ch == m_dev->selectedChannel())
            reference = ch;
    }
    if (!reference)
        return;
    const qint64 at = reference->slot(false).shownRecordMs.load();
    const int fps = reference->frameRate(false);
    const int frame = fps > 0 ? qMax(1, 1000 / fps) : FrameMs;
    const qint64 target = direction > 0 ? at + frame : at - 1;
    for (Channel *ch : shown) {
        const auto it = m_members.constFind(ch);
        if (it != m_members.constEnd() && it->state != State::Busy)
            m_view->linkOf(ch)->stepReplay(ch, target);
    }
    m_anchorMs = target;
    emit positionChanged(target);
}

void PlaybackSync::hold(Channel *ch, Member &m, qint64 until, State state)
{
    m.state = state;
    m.waitUntil = until;
    if (state == State::NoRecording) {
        m_view->linkOf(ch)->stopReplay(ch, false, QDateTime());
        setCellText(ch, noRecordingText());
    } else {
        m_view->linkOf(ch)->pauseReplay(ch);
    }
}

void PlaybackSync::release(Channel *ch, Member &m)
{
    if (m.state == State::NoRecording) {
        start(ch, m.waitUntil);
        return;
    }
    m.state = State::Starting;
    m.lastShown = ch->slot(false).shownRecordMs.load();
    m_view->linkOf(ch)->resumeReplay(ch);
}

void PlaybackSync::onBusy(Channel *ch)
{
    if (!m_running || !m_members.contains(ch))
        return;
    // The device plays one channel: the selected one if it is this
    // device's, else its first in the grid.
    Channel *keep = nullptr;
    Channel *selected = m_dev->selectedChannel();
    for (Channel *c : channels()) {
        if (c->device() != ch->device())
            continue;
        if (!keep || c == selected)
            keep = c;
    }
    for (Channel *c : channels()) {
        if (c->device() != ch->device() || c == keep || !m_members.contains(c))
            continue;
        Member &m = m_members[c];
        if (m.state == State::Busy)
            continue;
        m.state = State::Busy;
        c->setViewRequested(false, false);
        m_view->linkOf(c)->stopReplay(c, false, QDateTime());
        setCellText(c, busyText());
    }
    if (keep && keep == ch)
        start(keep, clockMs());
    emit stateChanged();
}

void PlaybackSync::followJumps(const QList<Channel *> &shown)
{
    // When no channel plays at the clock any more and some went on to their
    // next recordings (each crossed a gap), the clock goes with the
    // earliest of them.
    const qint64 clock = clockMs();
    const int dir = m_speed < 0 ? -1 : 1;
    qint64 next = -1;
    for (Channel *ch : shown) {
        const auto it = m_members.constFind(ch);
        if (it == m_members.constEnd() || it->state == State::Busy ||
            it->state == State::NoRecording)
            continue;
        const qint64 t = ch->slot(false).shownRecordMs.load();
        if (t <= 0)
            continue;
        if ((t - clock) * dir <= AbsentMs)
            return; // someone plays at the clock
        if (next < 0 || (t - next) * dir < 0)
            next = t;
    }
    if (next >= 0) {
        m_anchorMs = next;
        m_anchorWall = now();
    }
}

void PlaybackSync::check()
{
    if (!m_running)
        return;
    const QList<Channel *> shown = channels();
    // Cells that left the grid leave the group.
    for (auto it = m_members.begin(); it != m_members.end();)
        it = shown.contains(it.key()) ? std::next(it) : m_members.erase(it);
    // Channels put into the grid while it plays join.
    for (Channel *ch : shown)
        if (!m_members.contains(ch) && m_anchored)
            start(ch, clockMs());

    // The clock starts with the first new picture of the moment asked
    // for; when every channel jumped to a later recording (nothing is
    // recorded at that moment), with the earliest of them.
    if (!m_anchored && !m_paused) {
        qint64 near = -1;
        qint64 earliest = -1;
        bool waiting = false;
        for (Channel *ch : shown) {
            const auto it = m_members.constFind(ch);
            if (it == m_members.constEnd() || it->state == State::Busy)
                continue;
            const qint64 t = ch->slot(false).shownRecordMs.load();
            if (t <= 0 || t == it->lastShown || it->awaitingStart) {
                waiting = true;
            } else if (qAbs(t - m_anchorMs) <= AbsentMs) {
                near = t;
                break;
            } else {
                earliest = earliest < 0 ? t : qMin(earliest, t);
            }
        }
        const qint64 at =
            near >= 0
                ? near
                : (earliest >= 0 && (!waiting || now() - m_rearmWall > AbsentMs) ? earliest : -1);
        if (at >= 0) {
            m_anchored = true;
            m_anchorMs = at;
            m_anchorWall = now();
        }
    }
    if (m_anchored && !m_paused)
        followJumps(shown);
    const qint64 clock = clockMs();
    const int scale = qMax(8, qAbs(m_speed));
    const qint64 holdMs = qint64(HoldMs) * scale / 8;
    const qint64 lagMs = qint64(LagMs) * scale / 8;
    const int dir = m_speed < 0 ? -1 : 1;
    for (Channel *ch : shown) {
        auto it = m_members.find(ch);
        if (it == m_members.end())
            continue;
        Member &m = *it;
        const qint64 t = ch->slot(false).shownRecordMs.load();
        const bool fresh = t > 0 && t != m.lastShown && !m.awaitingStart;
        if (m.state == State::Holding || m.state == State::NoRecording) {
            if (!m_paused && m_anchored && (m.waitUntil - clock) * dir <= CheckMs)
                release(ch, m);
            continue;
        }
        if (m.state == State::Busy || m_paused || !fresh)
            continue;
        m.lastShown = t;
        if (m.state == State::Starting)
            m.state = State::Playing;
        if (!m_anchored)
            continue;
        const qint64 lead = (t - clock) * dir;
        if (lead > AbsentMs)
            hold(ch, m, t, State::NoRecording);
        else if (lead > holdMs)
            hold(ch, m, t, State::Holding);
        else if (lead < -lagMs) {
            // Seek ahead of the clock: the device starts there at a key
            // frame, and the channel waits for the clock.
            m.state = State::Starting;
            const qint64 target = clock + dir * lagMs;
            const QDateTime from = ch->replayDateTime();
            const qint64 ahead = from.isValid() ? from.msecsTo(localOf(target)) : -1;
            if (dir > 0 && ahead >= 0)
                m_view->linkOf(ch)->changeReplayTime(ch, int(ahead / 1000));
            else
                m_view->linkOf(ch)->stopReplay(ch, true, localOf(target));
        }
    }
    if (m_anchored && !m_paused)
        emit positionChanged(clock);
}
