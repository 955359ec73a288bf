#include "playback/ProgressBar.h"

#include "diagnostics/SystemInfo.h"
#include "link/DeviceLink.h"
#include "link/DeviceLinks.h"
#include "link/DeviceEvents.h"
#include "link/DeviceLink.h"
#include "link/DeviceLinks.h"
#include "media/Video.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "playback/TimeLine.h"
#include "view/ViewControl.h"

#include <QDateTime>
#include <QLabel>
#include <QMouseEvent>
#include <QVBoxLayout>

namespace {

constexpr int Day = 86400;

const char *const TickStyle = "border-width: 0 1px 0 0;background-color:rgba(0,0,0,0);"
                              "border-style:solid;border-color:#efefef;";
const char *const BarStyle = "border:0;background:#6495ed;";
const char *const MarkStyle = "border:0;background:#ff8c00;";
const char *const CursorStyle = "border-width:0 1px 0 0;border-style:solid;border-color:#efefef;"
                                "background:rgba(0,0,0,0);";
const char *const LineStyle =
    "background-color:qlineargradient(spread:pad, x1:0, y1:0, x2:0, y2:1, stop:0 #545454,stop:0.5 "
    "#505050 ,stop:1 #484848);\nborder:1px solid #666;\nborder-radius:3px;";

QTime timeOfSecond(int second)
{
    return QTime(second / 3600, (second % 3600) / 60, second % 60);
}

// h:mm, the hour unpadded.
QString minuteText(int second)
{
    const int minutes = (second % 3600) / 60;
    return QString::number(second / 3600) + QLatin1Char(':') +
           (minutes < 10 ? QStringLiteral("0") : QString()) + QString::number(minutes);
}

template <class W> void deleteAll(QList<W *> &widgets)
{
    qDeleteAll(widgets);
    widgets.clear();
}

} // namespace

ProgressBar::ProgressBar(QWidget *parent)
    : QWidget(parent)
    , m_events(DeviceLinks::events())
    , m_video(Video::instance())
    , m_view(ViewControl::instance())
    , m_info(SystemInfo::instance())
    , m_dev(Dev::instance())
{
    setObjectName(QStringLiteral("ProgressBar"));
    resize(771, 56);
    QFont agency(QStringLiteral("Agency FB"));
    setFont(agency);
    setStyleSheet(QStringLiteral("background:rgba(0,0,0,0);\nborder:0"));
    auto *layout = new QVBoxLayout(this);
    layout->setObjectName(QStringLiteral("verticalLayout"));
    layout->setSpacing(4);
    layout->setContentsMargins(0, 2, 0, 2);
    m_minuteLine = new TimeLine(this);
    m_minuteLine->setObjectName(QStringLiteral("widget_minuteLine"));
    m_hourLine = new TimeLine(this);
    m_hourLine->setObjectName(QStringLiteral("widget_hourLine"));
    m_hourLine->setFont(agency);
    for (TimeLine *line : {m_minuteLine, m_hourLine}) {
        line->setCursor(Qt::PointingHandCursor);
        line->setStyleSheet(QLatin1String(LineStyle));
    }
    layout->addWidget(m_minuteLine, 3);
    layout->addWidget(m_hourLine, 2);

    m_windowMarker =
        newChild(m_hourLine, QStringLiteral("background:rgba(135,135,135,0.6);border-radius"));
    m_minuteCursor = newChild(m_minuteLine, QLatin1String(CursorStyle));
    m_hourCursor = newChild(m_hourLine, QLatin1String(CursorStyle));
    m_emptyDay = new QLabel(tr("当天没有录像"), m_hourLine);
    m_emptyDay->setAlignment(Qt::AlignCenter);
    m_emptyDay->setStyleSheet(
        QStringLiteral("border:0;background:rgba(0,0,0,0);color:#efefef;font-size:%1px;")
            .arg(m_info->smallFontSize()));
    m_emptyDay->hide();
    clearScales();
    buildHourScale();
    buildMinuteScale();
    placeWindowMarker();
    placeMinuteCursor();
    placeHourCursor();

    connect(m_hourLine, &TimeLine::clicked, this, &ProgressBar::selectHourPos);
    connect(m_minuteLine, &TimeLine::clicked, this, &ProgressBar::selectMinutePos);
    connect(m_minuteLine, &TimeLine::released, this, &ProgressBar::releasedMinute);
    connect(m_view, &ViewControl::changeModMsg, this, &ProgressBar::loadVideoTime);
    connect(m_view, &ViewControl::dateChangeMsg, this, &ProgressBar::loadVideoTime);
    connect(m_dev, &Dev::selectChannelMsg, this, &ProgressBar::selectDev);
    connect(m_events, &DeviceEvents::connectChannelSuccessMsg, this,
            &ProgressBar::connectChannelSuccess);
    connect(m_events, &DeviceEvents::receiveVideoTimeMsg, this, &ProgressBar::receiveVideoTime);
    connect(m_events, &DeviceEvents::receiveVideoTimeEmptyMsg, this,
            [this](Channel *ch, int, const QString &) { receiveVideoTimeEmpty(ch); });
    connect(m_events, &DeviceEvents::receiveEventMarksMsg, this, &ProgressBar::receiveEventMarks);
    connect(m_video, &Video::showImageFinishMsg, this, &ProgressBar::loadFrameProgress);
}

ProgressBar::~ProgressBar()
{
    clearScales();
    deleteAll(m_hourBars);
    deleteAll(m_minuteBars);
    deleteAll(m_hourMarks);
    deleteAll(m_minuteMarks);
}

QWidget *ProgressBar::newChild(QWidget *parent, const QString &style) const
{
    auto *w = new QWidget(parent);
    w->setStyleSheet(style);
    w->show();
    return w;
}

void ProgressBar::buildHourScale()
{
    const double s = m_info->scale();
    const QString labelStyle =
        QStringLiteral("border: 0;background-color:rgba(0,0,0,0);color:#efefef;font-size:%1px;")
            .arg(m_info->smallFontSize());
    const float step = float(m_hourLine->width()) / 24.0f;
    float x = step;
    for (int k = 1; k <= 24; ++k, x += step) {
        QWidget *tick = newChild(m_hourLine, QLatin1String(TickStyle));
        tick->setGeometry(int(x), 0, int(2 * s), int(3 * s));
        m_hourTicks.append(tick);
        auto *label = new QLabel(QString::number(k), m_hourLine);
        label->setStyleSheet(labelStyle);
        label->ensurePolished();
        // As wide as its number; the last one ends at the line's right edge.
        const QSize size(label->sizeHint().width(), qMax(int(8 * s), label->sizeHint().height()));
        label->setGeometry(qMin(int(x), m_hourLine->width() - size.width()), int(4 * s),
                           size.width(), qMin(size.height(), m_hourLine->height() - int(4 * s)));
        label->show();
        m_hourLabels.append(label);
    }
}

void ProgressBar::buildMinuteScale()
{
    const double s = m_info->scale();
    const QString labelStyle =
        QStringLiteral("border: 0;background-color:rgba(0,0,0,0);color:#efefef;font-size:%1px;")
            .arg(m_info->smallFontSize());
    const int length = m_minuteLine->width();
    const int height = m_minuteLine->height();
    m_windowLength = length;
    m_windowEnd = m_windowStart + length;
    for (int o = 60 - m_windowStart % 60; o < length; o += 60) {
        QWidget *tick = newChild(m_minuteLine, QLatin1String(TickStyle));
        tick->setGeometry(o, height - int(3 * s), int(2 * s), int(3 * s));
        m_minuteTicks.append(tick);
        auto *label = new QLabel(minuteText(m_windowStart + o), m_minuteLine);
        label->setStyleSheet(labelStyle);
        label->setGeometry(o, height - int(14 * s), int(30 * s), int(10 * s));
        label->show();
        m_minuteLabels.append(label);
    }
}

void ProgressBar::placeWindowMarker()
{
    const qint64 w = m_hourLine->width();
    m_windowMarker->setGeometry(int(m_windowStart * w / Day), 0, int(m_windowLength * w / Day),
                                m_hourLine->height());
}

void ProgressBar::placeMinuteCursor()
{
    const int x = m_cursorSecond - m_windowStart;
    m_minuteCursor->setGeometry(x, 0, 2, m_minuteLine->height());
    m_view->setReplayTime(timeOfSecond(m_cursorSecond));
    emit moveMinuteMsg(x);
}

void ProgressBar::placeHourCursor()
{
    const qint64 x = qint64(m_hourLine->width()) * m_cursorSecond / Day;
    m_hourCursor->setGeometry(int(x), 0, 2, m_hourLine->height());
}

QRect ProgressBar::hourBarRect(const QList<int> &item) const
{
    const float p = float(m_hourLine->width()) / float(Day);
    return QRect(int(float(item.value(0)) * p), 0, qMax(1, int(float(item.value(1)) * p)), 4);
}

void ProgressBar::addHourBar(const QList<int> &item)
{
    QWidget *bar = newChild(m_hourLine, QLatin1String(BarStyle));
    bar->setGeometry(hourBarRect(item));
    m_hourBars.append(bar);
    for (QWidget *tick : std::as_const(m_hourTicks))
        tick->raise();
    m_windowMarker->raise();
    m_hourCursor->raise();
}

void ProgressBar::addMinuteBar(const QList<int> &item)
{
    const int start = item.value(0);
    const int length = item.value(1);
    if (start > m_windowEnd || start + length < m_windowStart)
        return;
    QWidget *bar = newChild(m_minuteLine, QLatin1String(BarStyle));
    bar->setGeometry(start - m_windowStart, m_minuteLine->height() - 4, length,
                     int(4 * m_info->scale()));
    m_minuteBars.append(bar);
    for (QWidget *tick : std::as_const(m_minuteTicks))
        tick->raise();
    m_minuteCursor->raise();
}

void ProgressBar::rebuildMinuteBars()
{
    deleteAll(m_minuteBars);
    for (const QList<int> &item : m_view->dayRecords())
        addMinuteBar(item);
}

void ProgressBar::rebuildMarks()
{
    deleteAll(m_hourMarks);
    deleteAll(m_minuteMarks);
    const double s = m_info->scale();
    const float p = float(m_hourLine->width()) / float(Day);
    const int markHeight = int(8 * s);
    for (const QList<int> &mark : std::as_const(m_marks)) {
        const int second = mark.value(0);
        QWidget *h = newChild(m_hourLine, QLatin1String(MarkStyle));
        h->setGeometry(int(float(second) * p), 0, qMax(2, int(2 * s)), markHeight);
        m_hourMarks.append(h);
        if (second < m_windowStart || second > m_windowEnd)
            continue;
        QWidget *m = newChild(m_minuteLine, QLatin1String(MarkStyle));
        m->setGeometry(second - m_windowStart, m_minuteLine->height() - markHeight,
                       qMax(2, int(2 * s)), markHeight);
        m_minuteMarks.append(m);
    }
    m_hourCursor->raise();
    m_minuteCursor->raise();
}

void ProgressBar::receiveEventMarks(Channel *channel)
{
    if (!channel || channel != m_dev->selectedChannel() || m_view->isLive())
        return;
    m_marks = channel->eventMarks();
    rebuildMarks();
}

QRect ProgressBar::eventMarkGeometry(int i) const
{
    return m_hourMarks.value(i) ? m_hourMarks[i]->geometry() : QRect();
}

void ProgressBar::repositionHourBars()
{
    const QList<QList<int>> records = m_view->dayRecords();
    for (int i = 0; i < m_hourBars.size() && i < records.size(); ++i)
        m_hourBars[i]->setGeometry(hourBarRect(records[i]));
}

void ProgressBar::receiveVideoTimeEmpty(Channel *channel)
{
    if (!channel || channel != m_dev->selectedChannel() || m_view->isLive())
        return;
    m_emptyDay->setGeometry(m_hourLine->rect());
    m_emptyDay->show();
    m_emptyDay->raise();
}

void ProgressBar::clearRecordBars()
{
    m_emptyDay->hide();
    deleteAll(m_hourBars);
    deleteAll(m_minuteBars);
    m_view->setDayRecords({});
    m_marks.clear();
    rebuildMarks();
}

void ProgressBar::clearScales()
{
    deleteAll(m_hourTicks);
    deleteAll(m_hourLabels);
    deleteAll(m_minuteTicks);
    deleteAll(m_minuteLabels);
}

void ProgressBar::selectHourPos(QMouseEvent *event)
{
    const int w = qMax(1, m_hourLine->width());
    const int x = qRound(event->position().x());
    const int half = int(qint64(m_windowLength) * w / (2 * Day));
    if (x < half)
        m_windowStart = 0;
    else if (x > w - 2 * half)
        m_windowStart = Day - m_windowLength;
    else
        m_windowStart = int(qint64(x - half) * Day / w);
    m_windowStart = qBound(0, m_windowStart, Day);
    clearScales();
    buildHourScale();
    buildMinuteScale();
    placeWindowMarker();
    placeMinuteCursor();
    rebuildMinuteBars();
    rebuildMarks();
}

void ProgressBar::selectMinutePos(QMouseEvent *event)
{
    m_dragging = true;
    // A drag past either end of the line stops at the first or last second of the day.
    m_cursorSecond = qBound(0, qRound(event->position().x()) + m_windowStart, Day - 1);
    placeMinuteCursor();
    placeHourCursor();
}

void ProgressBar::releasedMinute()
{
    m_view->seekReplay(timeOfSecond(m_cursorSecond));
    m_dragging = false;
}

void ProgressBar::loadVideoTime()
{
    if (m_view->isLive())
        return;
    if (Channel *ch = m_dev->selectedChannel())
        m_view->prepareChannel(ch, false);
}

void ProgressBar::connectChannelSuccess(Channel *channel)
{
    if (m_view->isLive() || !channel)
        return;
    clearRecordBars();
    // A device without recordings to play has no record list to ask for.
    if (DeviceLinks::has(channel->device(), DeviceLink::Playback))
        m_view->linkOf(channel)->getRecordList(channel, m_view->replayDate());
}

void ProgressBar::receiveVideoTime(Channel *channel, const QList<int> &item)
{
    if (!channel || channel != m_dev->selectedChannel())
        return;
    m_view->appendDayRecord(item);
    m_emptyDay->hide();
    addHourBar(item);
    addMinuteBar(item);
}

void ProgressBar::selectDev(Channel *channel)
{
    if (!channel || m_view->isLive())
        return;
    clearRecordBars();
    loadVideoTime();
}

void ProgressBar::loadFrameProgress(Channel *channel, uint timestamp)
{
    if (m_dragging || m_view->isLive() || !channel || channel != m_dev->selectedChannel())
        return;
    const QTime t = QDateTime::fromSecsSinceEpoch(qint64(timestamp)).time();
    const int second = QTime(0, 0).secsTo(t);
    if (second == m_cursorSecond)
        return;
    m_cursorSecond = second;
    placeMinuteCursor();
    placeHourCursor();
}

void ProgressBar::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    clearScales();
    buildHourScale();
    buildMinuteScale();
    placeWindowMarker();
    placeHourCursor();
    repositionHourBars();
    rebuildMinuteBars();
    rebuildMarks();
    m_emptyDay->setGeometry(m_hourLine->rect());
}

QRect ProgressBar::hourBarGeometry(int i) const
{
    return m_hourBars.value(i) ? m_hourBars[i]->geometry() : QRect();
}

bool ProgressBar::isEmptyDayShown() const
{
    return !m_emptyDay->isHidden();
}

QStringList ProgressBar::minuteLabelTexts() const
{
    QStringList out;
    for (const QLabel *l : m_minuteLabels)
        out << l->text();
    return out;
}
