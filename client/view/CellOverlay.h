#pragma once

#include "view/CellInfo.h"
#include "view/CellZoom.h"

#include <QCoreApplication>
#include <QRectF>
#include <QSize>
#include <QString>

#include <functional>
#include <memory>

class QMovie;
class QObject;
class QPainter;
struct StreamCounters;

// What a view cell draws over its picture: the "REC" badge, the alarm frame
// and badge, the status text or waiting indicator, the information box and,
// while the picture is zoomed, the overview (the whole picture's outline
// with the part shown marked) and its reset button. It draws the state it
// is given, knows where its parts lie, and keeps what the user set over the
// picture: the zoom (moved by the wheel, drags and the overview, given in
// the cell's coordinates) and the information box's figures.
//
// GUI thread.
class CellOverlay
{
    Q_DECLARE_TR_FUNCTIONS(GlWidgetViewWindow)

public:
    struct State
    {
        QSize cell;         // the cell's size
        double scale = 1.0; // the interface's scale (SystemInfo)
        bool recording = false;
        int alarms = 0; // Channel::alarms()
        QString status; // over the waiting indicator
    };

    CellOverlay();
    ~CellOverlay();
    CellOverlay(const CellOverlay &) = delete;
    CellOverlay &operator=(const CellOverlay &) = delete;

    // The waiting indicator in the middle, animated: onFrame runs (in
    // context's thread, while context lives) at each of its frames.
    void startWaiting(QObject *context, std::function<void()> onFrame);
    // True when one was shown.
    bool stopWaiting();
    bool isWaiting() const { return m_waiting != nullptr; }

    // The zoom. Each step returns true when the part shown changed.
    const CellZoom &zoom() const { return m_zoom; }
    bool resetZoom();
    // The wheel turned by angle (eighths of a degree) over `at`.
    bool wheel(QSize cell, QPointF at, int angle);
    // The left button pressed, moved while held, released.
    bool press(QSize cell, double scale, QPointF at);
    bool move(QSize cell, double scale, QPointF at);
    void release() { m_drag = Drag::None; }

    // The information box: shown or not, its text (empty while not shown).
    void setInfoShown(bool shown);
    bool infoShown() const { return m_infoShown; }
    QString infoText() const { return m_infoText; }
    // Counts afresh (another stream).
    void clearInfo();
    // Samples the stream's totals and this cell's count of pictures shown
    // at msNow, and writes the box's text.
    void updateInfo(const StreamCounters &counters, quint64 picturesShown, qint64 msNow,
                    QSize resolution, bool hd);

    // Draws over the cell (painter at the cell's origin).
    void draw(QPainter &painter, const State &state) const;
    // The badge of the alarms that are on (empty: none).
    static QString alarmText(int alarms);

    // The picture's area inside the cell's 2-pixel frame.
    static QRectF pictureRect(QSize cell);
    // The overview of a zoomed cell, in the bottom right corner.
    static QRectF overviewRect(QSize cell, double scale);
    // The button left of the overview that shows the whole picture again.
    static QRectF resetButtonRect(QSize cell, double scale);
    // The label of the reset button.
    static QString resetLabel() { return QStringLiteral("1:1"); }

private:
    // What a left press over a zoomed cell started.
    enum class Drag { None, Picture, Overview };

    static void drawRecording(QPainter &painter, const State &state);
    static void drawAlarm(QPainter &painter, const State &state, const QString &alarm);
    void drawInfo(QPainter &painter, const State &state) const;
    void drawOverview(QPainter &painter, const State &state) const;
    bool centreAt(QSize cell, double scale, QPointF at);

    std::unique_ptr<QMovie> m_waiting;
    CellZoom m_zoom;
    Drag m_drag = Drag::None;
    bool m_panning = false; // the drag went past the start distance
    QPointF m_dragFrom;     // where the pointer was at the last pan step

    bool m_infoShown = false;
    QString m_infoText;
    CellInfo m_info;
};
