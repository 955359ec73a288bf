// The main window's playback half: the timeline under the grid, its date
// bubble and calendar, the control bar's playback buttons, and the
// full-screen grid.

#include "app/MainWindow.h"

#include "diagnostics/SystemInfo.h"
#include "link/DeviceEvents.h"
#include "link/DeviceLinks.h"
#include "model/Dev.h"
#include "playback/DateBtn.h"
#include "playback/PlaybackButtons.h"
#include "media/VideoRecord.h"
#include "playback/ExportDialog.h"
#include "playback/TimelinePanel.h"
#include "ui_MainWindow.h"
#include "view/ViewControl.h"
#include "widgets/LabelFullScreen.h"

#include <QCalendarWidget>
#include <QHBoxLayout>
#include <QLayout>
#include <QToolButton>

namespace {

// Puts `with` where the form's label `slot` is (same name and size limits)
// and lets `slot` point at it.
template <class Label> void replaceLabel(QLabel *&slot, Label *with)
{
    QLabel *old = slot;
    with->setObjectName(old->objectName());
    with->setMinimumSize(old->minimumSize());
    with->setMaximumSize(old->maximumSize());
    with->setSizePolicy(old->sizePolicy());
    if (QLayout *layout = old->parentWidget()->layout())
        delete layout->replaceWidget(old, with);
    with->setVisible(!old->isHidden());
    delete old;
    slot = with;
}

} // namespace

void MainWindow::installPlaybackControls()
{
    QWidget *bar = ui->label_icon_play->parentWidget();
    replaceLabel(ui->label_icon_play, new PlayBtn(bar));
    replaceLabel(ui->label_icon_pause, new PauseBtn(ui->label_icon_pause->parentWidget()));
    // The fast buttons read their direction from their object name.
    replaceLabel(ui->label_icon_fb, new FastBtn(ui->label_icon_fb->parentWidget()));
    replaceLabel(ui->label_icon_ff, new FastBtn(ui->label_icon_ff->parentWidget()));
    auto *full = new LabelFullScreen(ui->label_icon_fullGl->parentWidget());
    replaceLabel(ui->label_icon_fullGl, full);
    connect(full, &LabelFullScreen::clickMsg, this, &MainWindow::fullGL);
    auto *dateBtn = new DateBtn(ui->label_dateBtn->parentWidget());
    replaceLabel(ui->label_dateBtn, dateBtn);
    connect(dateBtn, &DateBtn::clicked, this, &MainWindow::openCalendar);

    auto *layout = new QHBoxLayout(ui->widget_progressBar);
    layout->setContentsMargins(8, 4, 8, 4);
    m_timeline = new TimelinePanel(ui->widget_progressBar);
    layout->addWidget(m_timeline);
    connect(m_timeline, &TimelinePanel::exportRequested, this,
            [this](const QList<Channel *> &channels, qint64 from, qint64 to) {
                ExportDialog::start(this, channels, from, to, VideoRecord::instance()->videoPath());
            });

    // Pause and the fast buttons appear while a playback of the selected
    // channel runs.
    const auto showRunning = [this](Channel *ch, bool on) {
        if (view->isLive() || ch != dev->selectedChannel())
            return;
        for (QWidget *w :
             {static_cast<QWidget *>(ui->label_icon_pause),
              static_cast<QWidget *>(ui->label_icon_fb), static_cast<QWidget *>(ui->label_icon_ff),
              ui->widget_icon_fbBox, ui->widget_icon_ffBox})
            w->setVisible(on);
    };
    connect(io, &DeviceEvents::startReplaySuccessMsg, this,
            [showRunning](Channel *ch) { showRunning(ch, true); });
    connect(io, &DeviceEvents::stopReplaySuccessMsg, this, [showRunning](Channel *ch) {
        if (!ch->paused(false))
            showRunning(ch, false);
    });
}

void MainWindow::openCalendar()
{
    if (m_calendar) {
        closeCalendar();
        return;
    }
    const double s = systemInfo->scale();
    m_calendar = new QCalendarWidget(ui->widget_videoView);
    m_calendar->setSelectedDate(view->replayDate());
    m_calendar->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    m_calendar->setHorizontalHeaderFormat(QCalendarWidget::ShortDayNames);
    m_calendar->setStyleSheet(
        QStringLiteral("QToolButton{font-size:%1px;color:#ffffff}QCalendarWidget QTableView "
                       "{border:1px solid #ccc;font-size:%2px;alternate-background-color: rgb(64, "
                       "64, 64);}QCalendarWidget QWidget#qt_calendar_navigationbar{background-"
                       "color:qlineargradient(spread:pad, x1:0, y1:0, x2:0, y2:1, stop:0 "
                       "#454545,stop:0.5 #404040 ,stop:1 #313131);}")
            .arg(qRound(s * 14))
            .arg(qRound(s * 11)));
    if (auto *prev = m_calendar->findChild<QToolButton *>(QStringLiteral("qt_calendar_prevmonth")))
        prev->setIcon(QIcon(QStringLiteral(":/main/images/btnImg/left-hover.png")));
    if (auto *next = m_calendar->findChild<QToolButton *>(QStringLiteral("qt_calendar_nextmonth")))
        next->setIcon(QIcon(QStringLiteral(":/main/images/btnImg/right-hover.png")));
    connect(m_calendar, &QCalendarWidget::selectionChanged, this, &MainWindow::dateChange);
    placeCalendar();
    m_calendar->show();
    m_calendar->raise();
}

void MainWindow::placeCalendar()
{
    const double s = systemInfo->scale();
    const int w = int(220 * s);
    const int h = int(200 * s);
    const int bottom = ui->widget_videoView->height() - ui->widget_2->height() - 1;
    m_calendar->setGeometry(int(ui->widget_videoView->width() - 275 * s), bottom - h, w, h);
}

void MainWindow::closeCalendar()
{
    delete m_calendar;
    m_calendar = nullptr;
}

void MainWindow::dateChange()
{
    if (m_calendar)
        view->setReplayDate(m_calendar->selectedDate());
}

void MainWindow::fullGL(bool on)
{
    view->removeWindowsFrom(0);
    m_fullGl = on;
    if (on) {
        ui->widget_center->setWindowFlags(Qt::Window);
        ui->widget_center->showFullScreen();
    } else {
        ui->widget_center->setWindowFlags(Qt::SubWindow);
        ui->widget_center->showNormal();
    }
    view->relayout();
    relayoutSidePanels();
}
