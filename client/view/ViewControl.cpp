#include "view/ViewControl.h"

#include "config/Config.h"
#include "config/Location.h"
#include "diagnostics/Checks.h"
#include "link/DeviceEvents.h"
#include "link/DeviceLink.h"
#include "link/DeviceLinks.h"
#include "media/VideoRecord.h"
#include "model/Channel.h"
#include "model/ChannelSaveTimeout.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "model/SharedInstance.h"
#include "view/CellStatus.h"
#include "view/GlWidgetViewWindow.h"
#include "view/StreamChoice.h"

#include <QMouseEvent>
#include <QTimer>
#include <QWidget>

#include <algorithm>

namespace {

// A window of its own shows the channel live, whatever the grid's mode.
bool showsLiveElsewhere(const Channel *ch)
{
    const QList<GlWidgetViewWindow *> cells = GlWidgetViewWindow::cellsShowing(ch);
    return std::any_of(cells.cbegin(), cells.cend(),
                       [](const GlWidgetViewWindow *c) { return c->isLiveOnly(); });
}

} // namespace

ViewControl *ViewControl::instance()
{
    return SharedInstance<ViewControl>::get();
}

ViewControl::ViewControl(QObject *parent)
    : QObject(parent)
    , m_dev(Dev::instance())
    , m_location(Location::instance())
    , m_recording(new RecordLength(m_location, this))
{
    if (SharedInstance<ViewControl>::adopt(this)) {
        DeviceEvents *io = DeviceLinks::events();
        // A failure the user must mend keeps the cells (they say so).
        connect(io, &DeviceEvents::connectDevFailMsg, this, [this](Channel *ch, int c, QString t) {
            if (ch && !m_cellStatus->showRefused(ch, c, t, true))
                releaseDeviceWindows(ch->device());
        });
        connect(
            io, &DeviceEvents::connectChannelFailMsg, this,
            [this](Channel *ch, int c, QString t) { m_cellStatus->showRefused(ch, c, t, false); });
        connect(io, &DeviceEvents::connectChannelSuccessMsg, this,
                &ViewControl::connectChannelSuccess);
        connect(io, &DeviceEvents::deviceOfflineMsg, this,
                [this](Device *d, int, const QString &) { showDeviceOffline(d); });
        connect(m_dev, &Dev::selectChannelMsg, this, &ViewControl::changeShowChannel);
        connect(m_dev, &Dev::accessChangedMsg, this, [this](Device *d) { m_cellStatus->retry(d); });
        // The cells and the link read the mode of the grid.
        GlWidgetViewWindow::setModeSource([] { return ViewControl::instance()->isLive(); });
        // A recording whose file cannot be written ends as if stopped.
        connect(VideoRecord::instance(), &VideoRecord::recordFailed, this,
                [this](Channel *ch, bool live, const QString &) { m_recording->end(ch, live); });
    }
    m_replay.date = QDate::currentDate();
    connect(m_recording, &RecordLength::changed, this,
            [this](Channel *ch, bool, bool on) { emit recordMsg(ch, on); });
    m_windowMod = static_cast<WINDOW_MOD>(m_location->windowNum());
    // Cells are fitted once their size has settled.
    m_streams = new StreamChoice(
        m_dev, [this](const Channel *ch) { return linkOf(ch); }, this);
    connect(this, &ViewControl::resizeMsg, m_streams, &StreamChoice::schedule);
    connect(this, &ViewControl::windowNumberChangeMsg, m_streams, &StreamChoice::schedule);
    m_cellStatus = new CellStatus(this);
}

ViewControl::~ViewControl()
{
    const QList<GlWidgetViewWindow *> windows = m_windows;
    m_windows.clear();
    for (GlWidgetViewWindow *w : windows) {
        disconnect(w, nullptr, this, nullptr);
        delete w;
    }
    if (SharedInstance<ViewControl>::isShared(this)) {
        SharedInstance<ViewControl>::release(this);
        GlWidgetViewWindow::setModeSource(nullptr);
    }
}

void ViewControl::setLink(std::unique_ptr<DeviceLink> link)
{
    m_link = std::move(link);
}

DeviceLink *ViewControl::linkOf(const Device *d) const
{
    return m_link ? m_link.get() : DeviceLinks::of(d);
}

DeviceLink *ViewControl::linkOf(const Channel *ch) const
{
    return linkOf(ch ? ch->device() : nullptr);
}

// ---- Grid management -------------------------------------------------------

void ViewControl::attach(QWidget *host)
{
    ORVANE_ASSERT_GUI_THREAD();
    m_host = host;
    setWindowCount(WindowMod::windowCount(m_windowMod));
    if (!m_windows.isEmpty() && m_host)
        setSize(m_host->width(), m_host->height());
}

void ViewControl::setSize(int width, int height)
{
    ORVANE_ASSERT_GUI_THREAD();
    if (m_windows.isEmpty())
        return;
    const QList<QRect> rects = WindowMod::cellRects(m_windowMod, width, height);
    for (int i = 0; i < m_windows.size() && i < rects.size(); ++i) {
        const QRect &r = rects.at(i);
        m_windows.at(i)->place(r.width(), r.height(), r.x(), r.y());
    }
    emit resizeMsg();
}

void ViewControl::relayout()
{
    attach(m_host);
}

void ViewControl::setWindowCount(int n)
{
    ORVANE_ASSERT_GUI_THREAD();
    n = qMax(0, n);
    if (n == m_windows.size())
        return;
    if (n > m_windows.size()) {
        if (!m_host)
            return;
        while (m_windows.size() < n)
            m_windows.append(createWindow());
        // Deal every requested channel out again from the first window on.
        for (GlWidgetViewWindow *w : std::as_const(m_windows))
            if (Channel *ch = w->channel())
                releaseWindow(ch);
        for (GlWidgetViewWindow *w : std::as_const(m_windows))
            assignWindow(w);
    } else {
        removeWindowsFrom(n);
    }
    emit windowNumberChangeMsg();
}

void ViewControl::removeWindowsFrom(int n)
{
    while (m_windows.size() > qMax(0, n))
        dropWindow(m_windows.takeLast());
}

void ViewControl::setWindowMod(WINDOW_MOD mod)
{
    ORVANE_ASSERT_GUI_THREAD();
    m_windowMod = mod;
    m_location->setWindowNum(int(mod));
    attach(m_host);
    if (mod != WINDOW_MOD_1 || m_windows.isEmpty())
        return;
    if (Channel *selected = m_dev->selectedChannel())
        putChannel(m_windows.first(), selected);
}

GlWidgetViewWindow *ViewControl::createWindow()
{
    auto *w = new GlWidgetViewWindow(m_host);
    connect(w, &GlWidgetViewWindow::doubleClicked, this, &ViewControl::doubleClickScreen);
    connect(w, &QObject::destroyed, this, [this, w] {
        // The host went away with its children: forget the window.
        m_windows.removeAll(w);
    });
    wireCell(w);
    connect(w, &GlWidgetViewWindow::menuRequested, this, &ViewControl::openSubWindowMenu);
    // A channel dropped from the tree starts in the cell; a cell dragged
    // onto another swaps with it.
    connect(w, &GlWidgetViewWindow::channelDropped, this,
            [this, w](Channel *ch) { openInCell(ch, int(m_windows.indexOf(w))); });
    connect(w, &GlWidgetViewWindow::movedOnto, this, [this, w](GlWidgetViewWindow *target) {
        if (m_windows.contains(target))
            swapCells(int(m_windows.indexOf(w)), int(m_windows.indexOf(target)));
    });
    w->show();
    return w;
}

void ViewControl::wireCell(GlWidgetViewWindow *w)
{
    // Stream state the cell follows (unique: the cell may wire some itself).
    DeviceEvents *io = DeviceLinks::events();
    const auto unique = Qt::UniqueConnection;
    connect(io, &DeviceEvents::videoRequestStopSuccessMsg, w, &GlWidgetViewWindow::cleanScreen,
            unique);
    connect(io, &DeviceEvents::stopReplaySuccessMsg, w, &GlWidgetViewWindow::cleanScreen, unique);
    connect(io, &DeviceEvents::waitingStreamMsg, w, &GlWidgetViewWindow::showWaiting, unique);
    connect(io, &DeviceEvents::videoRequestFailMsg, w, &GlWidgetViewWindow::hideWaiting, unique);
    connect(this, &ViewControl::recordMsg, w, &GlWidgetViewWindow::loadRecordStatus, unique);
    connect(this, &ViewControl::windowNumberChangeMsg, w, &GlWidgetViewWindow::reloadImg, unique);
    // A zoomed cell may want the other stream.
    connect(w, &GlWidgetViewWindow::zoomChanged, m_streams, &StreamChoice::schedule, unique);
}

void ViewControl::dropWindow(GlWidgetViewWindow *w)
{
    disconnect(w, nullptr, this, nullptr);
    w->setChannel(nullptr, nullptr);
    w->hide();
    // The window may be the one whose double-click led here: it goes once
    // its event handler has returned.
    w->deleteLater();
}

// ---- Channel placement -----------------------------------------------------

void ViewControl::putChannel(GlWidgetViewWindow *window, Channel *channel)
{
    if (!window || !channel)
        return;
    if (window->channel() == channel)
        return;
    if (Channel *old = window->channel())
        releaseWindow(old);
    if (cellOf(channel))
        releaseWindow(channel);
    window->setChannel(channel->device(), channel);
}

GlWidgetViewWindow *ViewControl::cellOf(const Channel *channel) const
{
    if (!channel)
        return nullptr;
    for (GlWidgetViewWindow *w : std::as_const(m_windows))
        if (w->channel() == channel)
            return w;
    return nullptr;
}

GlWidgetViewWindow *ViewControl::showChannel(Channel *channel)
{
    ORVANE_ASSERT_GUI_THREAD();
    if (!channel)
        return nullptr;
    if (GlWidgetViewWindow *w = cellOf(channel))
        return w;
    for (GlWidgetViewWindow *w : std::as_const(m_windows)) {
        if (!w->hasChannel()) {
            putChannel(w, channel);
            return w;
        }
    }
    return nullptr;
}

GlWidgetViewWindow *ViewControl::assignWindow(GlWidgetViewWindow *window)
{
    ORVANE_ASSERT_GUI_THREAD();
    if (!window || window->hasChannel())
        return window;
    for (Channel *ch : m_dev->connectedChannels()) {
        if (!cellOf(ch) && ch->viewRequested(m_live)) {
            putChannel(window, ch);
            break;
        }
    }
    return window;
}

void ViewControl::openInCell(Channel *channel, int cell)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(channel && cell >= 0 && cell < m_windows.size(), return );
    putChannel(m_windows.at(cell), channel);
    // A stream already on goes on as it is (another layout, another window).
    if (m_live && channel->videoOn(true) && channel->viewRequested(true))
        return;
    prepareChannel(channel, false);
}

void ViewControl::swapCells(int a, int b)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(a >= 0 && b >= 0 && a < m_windows.size() && b < m_windows.size(), return );
    GlWidgetViewWindow *wa = m_windows.at(a);
    GlWidgetViewWindow *wb = m_windows.at(b);
    Channel *ca = wa->channel();
    Channel *cb = wb->channel();
    if (a == b || ca == cb)
        return;
    // The streams go on; only the cells change.
    wa->setChannel(cb ? cb->device() : nullptr, cb);
    wb->setChannel(ca ? ca->device() : nullptr, ca);
    m_streams->schedule();
}

void ViewControl::clearCell(int cell)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(cell >= 0 && cell < m_windows.size(), return );
    Channel *ch = m_windows.at(cell)->channel();
    if (!ch)
        return;
    if (GlWidgetViewWindow::cellsShowing(ch).size() > 1)
        releaseWindow(ch);
    else
        stopChannel(ch);
}

void ViewControl::releaseWindow(Channel *channel)
{
    ORVANE_ASSERT_GUI_THREAD();
    GlWidgetViewWindow *w = cellOf(channel);
    if (!w)
        return;
    m_streams->forget(channel);
    w->setChannel(nullptr, nullptr);
}

void ViewControl::releaseDeviceWindows(Device *device)
{
    if (!device)
        return;
    for (Channel *ch : device->channels())
        releaseWindow(ch);
}

void ViewControl::changeShowChannel(Channel *channel)
{
    if (m_windowMod != WINDOW_MOD_1 || !channel || m_windows.isEmpty())
        return;
    putChannel(m_windows.first(), channel);
}

void ViewControl::doubleClickScreen(Channel *channel)
{
    // A lost device is tried again at once rather than at its next attempt.
    if (channel && channel->device()->linkState() == Device::LinkState::Offline)
        linkOf(channel)->reconnectNow(channel->device());
    if (m_windowMod == WINDOW_MOD_1) {
        releaseWindow(channel);
        setWindowMod(m_previousMod);
    } else {
        m_previousMod = m_windowMod;
        // The double-clicked channel is the one shown alone, even when the
        // click did not select it first.
        if (channel && m_dev->selectedChannel() != channel) {
            m_dev->setSelectedDevice(channel->device());
            m_dev->setSelectedChannel(channel);
        }
        setWindowMod(WINDOW_MOD_1);
    }
    emit doubleClickScreenMsg(channel);
}

void ViewControl::showDeviceOffline(Device *device)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(device, return );
    // The channels wanted in the grid keep a cell (or get a free one) while
    // their device is tried again, so that the wall shows what it waits for.
    const int count = qMin(device->channelCount(), int(device->channels().size()));
    for (int i = 0; i < count; ++i) {
        Channel *ch = device->channel(i);
        if (ch->viewRequested(m_live))
            showChannel(ch);
    }
    m_cellStatus->showOffline();
}

// ---- Stream control --------------------------------------------------------

void ViewControl::prepareChannel(Channel *channel, bool keepMode)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(channel, return );
    if (m_live && !keepMode)
        channel->setViewRequested(true, true);
    if (channel->avIndex(true) >= 0) {
        linkOf(channel)->reportChannelReady(channel);
        return;
    }
    if (channel->device()->sessionId() < 0)
        linkOf(channel)->connectChannel(channel);
    if (channel->avIndex(true) < 0)
        linkOf(channel)->startChannel(channel);
}

void ViewControl::fitStreams()
{
    ORVANE_ASSERT_GUI_THREAD();
    m_streams->fit();
}

void ViewControl::connectChannelSuccess(Channel *channel)
{
    ORVANE_ASSERT_GUI_THREAD();
    if (!channel)
        return;
    // A new AV channel starts with the device's sub stream.
    channel->setQuality(false, true);
    m_streams->forget(channel);
    if (!m_live || !channel->viewRequested(true))
        return;
    // A channel with no free cell streams without being decoded until a
    // cell takes it; one that another window shows stays out of the grid.
    if (GlWidgetViewWindow::cellsShowing(channel).isEmpty() && !showChannel(channel))
        channel->setSeen(false);
    m_streams->schedule();
    linkOf(channel)->startVideo(channel);
}

void ViewControl::stopChannel(Channel *channel)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(channel, return );
    if (m_live) {
        channel->setViewRequested(false, true);
        linkOf(channel)->stopVideo(channel, false);
    } else {
        channel->setViewRequested(false, false);
        linkOf(channel)->stopReplay(channel, false, QDateTime());
    }
    releaseWindow(channel);
}

void ViewControl::closeDevice(Device *device)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(device, return );
    releaseDeviceWindows(device);
    linkOf(device)->closeDevice(device);
}

void ViewControl::closeDeviceThenRelease(Device *device)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(device, return );
    linkOf(device)->closeDevice(device);
    releaseDeviceWindows(device);
}

void ViewControl::stopAll()
{
    ORVANE_ASSERT_GUI_THREAD();
    for (Channel *ch : m_dev->connectedChannels())
        if (ch->avIndex(true) >= 0 || ch->avIndex(false) >= 0)
            linkOf(ch)->closeChannel(ch);
    for (Device *d : m_dev->devices())
        if (d->sessionId() >= 0 && d->channel(0))
            linkOf(d)->closeDevice(d);
}

void ViewControl::playReplay(Channel *channel, const QDateTime &start, int seekOffset,
                             bool startFlag, int recordType)
{
    ORVANE_ASSERT_GUI_THREAD();
    if (!channel || m_live || !DeviceLinks::has(channel->device(), DeviceLink::Playback))
        return;
    channel->setViewRequested(true, false);
    channel->setReplayDateTime(start);
    showChannel(channel);
    if (!channel->videoOn(false) && !channel->paused(false))
        linkOf(channel)->playReplay(channel, start, seekOffset, startFlag, recordType);
}

// ---- Mode and time ---------------------------------------------------------

void ViewControl::changeMod(bool live)
{
    ORVANE_ASSERT_GUI_THREAD();
    m_live.store(live);
    for (GlWidgetViewWindow *w : std::as_const(m_windows)) {
        if (Channel *ch = w->channel())
            releaseWindow(ch);
        assignWindow(w);
        if (Channel *ch = w->channel())
            ch->setWaitKeyFrame(true, m_live);
    }
    for (Channel *ch : m_dev->connectedChannels()) {
        // A paused playback stays paused when the grid returns to it.
        if (!m_live && ch->paused(false))
            continue;
        if (ch->viewRequested(!m_live) && !(m_live == false && showsLiveElsewhere(ch)))
            linkOf(ch)->pause(ch, !m_live);
        if (ch->viewRequested(m_live) && !(m_live && showsLiveElsewhere(ch)))
            linkOf(ch)->resume(ch, m_live);
    }
    emit changeModMsg(m_live);
}

void ViewControl::setReplayDate(const QDate &date)
{
    m_replay.date = date;
    emit dateChangeMsg();
}

// ---- Recording -------------------------------------------------------------

void ViewControl::recordChange(Channel *channel, bool on)
{
    m_recording->change(channel, m_live, on);
}

void ViewControl::stopSaveRecord(Channel *channel)
{
    m_recording->end(channel, m_live);
}

// ---- Playback position -----------------------------------------------------

void ViewControl::seekReplay(const QTime &target)
{
    ORVANE_ASSERT_GUI_THREAD();
    Channel *ch = m_dev->selectedChannel();
    if (!ch || !ch->videoOn(false) || !target.isValid())
        return;
    // The seek counts forward from the moment the playback started at; a
    // moment before that is reached by starting the playback there again.
    const QDateTime ref = ch->replayDateTime();
    const QDateTime to(ref.isValid() ? ref.date() : m_replay.date, target);
    if (ref.isValid() && to >= ref)
        linkOf(ch)->changeReplayTime(ch, int(ref.secsTo(to)));
    else
        linkOf(ch)->stopReplay(ch, true, to);
}
