#include "playback/TimelinePanel.h"

#include "diagnostics/Checks.h"
#include "link/DeviceEvents.h"
#include "link/DeviceLink.h"
#include "link/DeviceLinks.h"
#include "media/Video.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "view/PlaybackSync.h"
#include "view/ViewControl.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QStandardItemModel>
#include <QTimer>
#include <QToolButton>

namespace {

constexpr int MarkMs = 2000; // a recorded alarm without an end, drawn this long

PlaybackTimeline::Kind kindOf(int recordKind)
{
    switch (recordKind) {
    case 2:
        return PlaybackTimeline::Kind::Motion;
    case 3:
        return PlaybackTimeline::Kind::Alarm;
    default:
        return PlaybackTimeline::Kind::Continuous;
    }
}

QString laneName(const Channel *ch)
{
    const QString device =
        ch->device()->nickName().isEmpty() ? ch->device()->uid() : ch->device()->nickName();
    return QStringLiteral("%1 CH%2").arg(device).arg(ch->index() + 1);
}

} // namespace

const QList<int> &TimelinePanel::speeds()
{
    static const QList<int> all = {1, 2, 4, 8, 16, 32, 64, 128, -8, -16, -32, -64, -128};
    return all;
}

QString TimelinePanel::speedText(int eighths)
{
    const QString sign = eighths < 0 ? QStringLiteral("-") : QString();
    const int a = qAbs(eighths);
    if (a < 8)
        return sign + QStringLiteral("1/%1x").arg(8 / a);
    return QStringLiteral("%1%2x").arg(sign).arg(a / 8);
}

TimelinePanel::TimelinePanel(QWidget *parent)
    : QWidget(parent)
    , m_timeline(new PlaybackTimeline(this))
    , m_speed(new QComboBox(this))
    , m_view(ViewControl::instance())
    , m_dev(Dev::instance())
    , m_events(DeviceLinks::events())
    , m_sync(PlaybackSync::instance())
{
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    m_speed->setObjectName(QStringLiteral("comboBox_speed"));
    m_speed->setToolTip(tr("Playback speed"));
    for (int s : speeds())
        m_speed->addItem(speedText(s), s);
    m_speed->setCurrentIndex(int(speeds().indexOf(8)));
    m_stepBack = tool("button_stepBack", QStringLiteral("|◀"), tr("Previous picture"));
    m_stepForward = tool("button_stepForward", QStringLiteral("▶|"), tr("Next picture"));
    m_previousEvent = tool("button_previousEvent", QStringLiteral("◀●"), tr("Previous event"));
    m_nextEvent = tool("button_nextEvent", QStringLiteral("●▶"), tr("Next event"));
    m_export = tool("button_export", tr("Export"), tr("Export the marked range ([ and ])"));
    row->addWidget(m_speed);
    for (QToolButton *b : {m_stepBack, m_stepForward, m_previousEvent, m_nextEvent, m_export})
        row->addWidget(b);
    row->addWidget(m_timeline, 1);
    m_emptyDay = new QLabel(QCoreApplication::translate("ProgressBar", "当天没有录像"), m_timeline);
    m_emptyDay->setAlignment(Qt::AlignCenter);
    m_emptyDay->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_emptyDay->setStyleSheet(QStringLiteral("background:transparent;color:#efefef;"));
    m_emptyDay->hide();
    setDay();

    connect(m_speed, &QComboBox::activated, this,
            [this](int i) { m_sync->setSpeed(m_speed->itemData(i).toInt()); });
    connect(m_stepBack, &QToolButton::clicked, this, [this] { step(-1); });
    connect(m_stepForward, &QToolButton::clicked, this, [this] { step(1); });
    connect(m_previousEvent, &QToolButton::clicked, m_timeline, &PlaybackTimeline::previousEvent);
    connect(m_nextEvent, &QToolButton::clicked, m_timeline, &PlaybackTimeline::nextEvent);
    connect(m_export, &QToolButton::clicked, this, [this] {
        if (m_timeline->rangeStart() >= 0 && m_timeline->rangeEnd() > m_timeline->rangeStart())
            emit exportRequested(m_laneChannels, m_timeline->rangeStart(), m_timeline->rangeEnd());
    });
    connect(m_timeline, &PlaybackTimeline::seekRequested, this, &TimelinePanel::seek);
    connect(m_timeline, &PlaybackTimeline::stepRequested, this, &TimelinePanel::step);
    connect(m_timeline, &PlaybackTimeline::rangeChanged, this, &TimelinePanel::updateControls);
    connect(m_timeline, &PlaybackTimeline::eventNavigationChanged, this,
            &TimelinePanel::updateControls);
    m_timeline->setThumbnailProvider(
        [this](int lane, qint64 ms, PlaybackTimeline::ThumbnailDone done) {
            thumbnail(lane, ms, std::move(done));
        });

    connect(m_view, &ViewControl::changeModMsg, this, &TimelinePanel::loadRecords);
    connect(m_view, &ViewControl::dateChangeMsg, this, [this] {
        setDay();
        loadRecords();
    });
    connect(m_dev, &Dev::selectChannelMsg, this, [this](Channel *) { loadRecords(); });
    connect(m_events, &DeviceEvents::connectChannelSuccessMsg, this, [this](Channel *ch) {
        if (!m_view->isLive() && ch && DeviceLinks::has(ch->device(), DeviceLink::Playback))
            m_view->linkOf(ch)->getRecordList(ch, m_view->replayDate());
    });
    connect(m_events, &DeviceEvents::receiveVideoTimeMsg, this,
            [this](Channel *ch, const QList<int> &item) {
                if (ch && ch == m_dev->selectedChannel())
                    m_view->appendDayRecord(item);
                scheduleRefresh();
            });
    connect(m_events, &DeviceEvents::receiveVideoTimeEmptyMsg, this,
            [this](Channel *, int, const QString &) { scheduleRefresh(); });
    connect(m_events, &DeviceEvents::receiveEventMarksMsg, this, &TimelinePanel::scheduleRefresh);
    connect(m_events, &DeviceEvents::replayCapsMsg, this, &TimelinePanel::updateControls);
    connect(m_events, &DeviceEvents::replaySpeedMsg, this, [this](Channel *, int, bool) {
        m_speed->setCurrentIndex(int(speeds().indexOf(m_sync->speed())));
    });
    connect(m_events, &DeviceEvents::startReplaySuccessMsg, this, &TimelinePanel::scheduleRefresh);
    connect(m_sync, &PlaybackSync::stateChanged, this, &TimelinePanel::scheduleRefresh);
    connect(m_sync, &PlaybackSync::positionChanged, this, [this](qint64 ms) {
        m_timeline->setCursor(ms);
        m_view->setReplayTime(QDateTime::fromMSecsSinceEpoch(ms).time());
    });
    // Without a group clock the selected channel's pictures move the cursor.
    connect(Video::instance(), &Video::showImageFinishMsg, this, [this](Channel *ch, uint ts) {
        if (m_view->isLive() || m_sync->isRunning() || ch != m_dev->selectedChannel() || !ts)
            return;
        const qint64 shown = ch->slot(false).shownRecordMs.load();
        m_timeline->setCursor(shown > 0 ? shown : qint64(ts) * 1000);
    });
    updateControls();
}

QToolButton *TimelinePanel::tool(const char *name, const QString &text, const QString &tip)
{
    auto *b = new QToolButton(this);
    b->setObjectName(QLatin1String(name));
    b->setText(text);
    b->setToolTip(tip);
    b->setAutoRaise(true);
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

bool TimelinePanel::isEmptyDayShown() const
{
    return !m_emptyDay->isHidden();
}

QList<Channel *> TimelinePanel::playbackChannels() const
{
    QList<Channel *> out = m_sync->channels();
    Channel *selected = m_dev->selectedChannel();
    if (selected && !out.contains(selected) &&
        DeviceLinks::has(selected->device(), DeviceLink::Playback)) {
        if (out.size() == PlaybackSync::MaxChannels)
            out.removeLast();
        out.prepend(selected);
    }
    return out;
}

void TimelinePanel::setDay()
{
    const QDate day = m_view->replayDate();
    const qint64 start = QDateTime(day, QTime(0, 0)).toMSecsSinceEpoch();
    const qint64 end = QDateTime(day.addDays(1), QTime(0, 0)).toMSecsSinceEpoch();
    m_timeline->setDay(start, end - start);
    m_timeline->setCursor(QDateTime(day, m_view->replayTime()).toMSecsSinceEpoch());
}

void TimelinePanel::loadRecords()
{
    if (m_view->isLive())
        return;
    m_view->setDayRecords({});
    const QDate day = m_view->replayDate();
    if (Channel *selected = m_dev->selectedChannel())
        m_view->prepareChannel(selected, false); // its record list comes with the connect
    for (Channel *ch : playbackChannels())
        if (ch != m_dev->selectedChannel() && ch->avIndex(true) >= 0)
            m_view->linkOf(ch)->getRecordList(ch, day);
    scheduleRefresh();
}

void TimelinePanel::scheduleRefresh()
{
    if (m_refreshPending)
        return;
    m_refreshPending = true;
    QTimer::singleShot(0, this, &TimelinePanel::refreshLanes);
}

void TimelinePanel::refreshLanes()
{
    m_refreshPending = false;
    const QDate day = m_view->replayDate();
    const qint64 dayStart = QDateTime(day, QTime(0, 0)).toMSecsSinceEpoch();
    m_laneChannels = playbackChannels();
    QList<PlaybackTimeline::Lane> lanes;
    int selectedLane = 0;
    bool selectedEmpty = true;
    for (Channel *ch : std::as_const(m_laneChannels)) {
        PlaybackTimeline::Lane lane;
        lane.name = laneName(ch);
        if (ch->recordListDay() == day) {
            for (const QList<int> &item : ch->recordTimes()) {
                if (item.size() < 2)
                    continue;
                const qint64 start = dayStart + qint64(item[0]) * 1000;
                lane.spans.append({start, start + qint64(item[1]) * 1000, kindOf(item.value(3))});
            }
            for (const QList<int> &mark : ch->eventMarks()) {
                const qint64 at = dayStart + qint64(mark.value(0)) * 1000;
                lane.spans.append({at, at + MarkMs,
                                   mark.value(1) == 1 ? PlaybackTimeline::Kind::Motion
                                                      : PlaybackTimeline::Kind::Alarm});
            }
        }
        if (ch == m_dev->selectedChannel()) {
            selectedLane = int(lanes.size());
            selectedEmpty = lane.spans.isEmpty() && ch->recordListReady();
        }
        lanes.append(lane);
    }
    m_timeline->setLanes(lanes);
    m_timeline->setSelectedLane(selectedLane);
    m_emptyDay->setGeometry(m_timeline->overviewRect());
    m_emptyDay->setVisible(!m_view->isLive() && selectedEmpty && !m_laneChannels.isEmpty());
    updateControls();
}

void TimelinePanel::seek(qint64 utcMs)
{
    m_view->setReplayTime(QDateTime::fromMSecsSinceEpoch(utcMs).time());
    if (m_sync->isRunning())
        m_sync->seek(utcMs);
}

void TimelinePanel::step(int direction)
{
    Channel *selected = m_dev->selectedChannel();
    const int caps = selected ? m_view->linkOf(selected)->replayCaps(selected) : 0;
    if (m_sync->isRunning() && m_sync->isPaused() && caps > 0 && (caps & DeviceLink::ReplayStep)) {
        m_sync->step(direction);
        return;
    }
    const qint64 to = m_timeline->cursor() + direction * m_timeline->stepMs();
    m_timeline->setCursor(to);
    seek(to);
}

void TimelinePanel::thumbnail(int lane, qint64 ms, PlaybackTimeline::ThumbnailDone done)
{
    Channel *ch = m_laneChannels.value(lane);
    // The lane's channel may have left the grid by the time it answers.
    if (!ch || !m_view->linkOf(ch)->requestThumbnail(ch, ms, ThumbnailWidth, done))
        done(QImage(), -1);
}

void TimelinePanel::updateControls()
{
    Channel *selected = m_dev->selectedChannel();
    const int caps = selected ? qMax(0, m_view->linkOf(selected)->replayCaps(selected)) : 0;
    const auto model = qobject_cast<QStandardItemModel *>(m_speed->model());
    for (int i = 0; i < m_speed->count(); ++i) {
        const int s = m_speed->itemData(i).toInt();
        const bool offered = s == 8 || (s > 0 ? (caps & DeviceLink::ReplaySpeeds)
                                              : (caps & DeviceLink::ReplayReverse));
        if (model)
            model->item(i)->setEnabled(offered);
    }
    m_speed->setEnabled((caps & DeviceLink::ReplaySpeeds) != 0);
    const bool stepping = m_sync->isRunning() && m_sync->isPaused();
    m_stepBack->setEnabled(stepping);
    m_stepForward->setEnabled(stepping);
    m_previousEvent->setEnabled(m_timeline->hasEventBefore());
    m_nextEvent->setEnabled(m_timeline->hasEventAfter());
    m_export->setEnabled(m_timeline->rangeStart() >= 0 &&
                         m_timeline->rangeEnd() > m_timeline->rangeStart() &&
                         !m_laneChannels.isEmpty());
}
