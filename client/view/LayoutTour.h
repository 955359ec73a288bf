#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <functional>

// The layout tour: shows the chosen named layouts in turn, each for the interval (default
// ConfigKey::TourSeconds), and holds still while the user works with the grid: the next layout
// is due an interval after the last switch, start or interaction, whichever came last. With
// fewer than two layouts nothing is ever due. The tour only names the layout that is due
// (layoutDue); applying it is the caller's job. No widgets.
//
// Time comes from a clock (milliseconds, never going back). The default clock is the system's
// monotonic one and a single-shot timer calls poll() when the next layout is due; with an
// injected clock no timer runs and the caller drives poll().
//
// GUI thread only.
class LayoutTour : public QObject
{
    Q_OBJECT

public:
    using Clock = std::function<qint64()>;

    explicit LayoutTour(QObject *parent = nullptr);
    LayoutTour(Clock clock, QObject *parent);

    // The layouts in tour order, by name; empty names and repeats are dropped. The layout
    // shown stays current when it is among them (else the next one due is the first).
    void setLayouts(const QStringList &names);
    QStringList layouts() const { return m_layouts; }
    // The layout the grid shows now (the user picked it, or it was the last one due); the
    // next one due follows it. A name not in the tour makes the first one next.
    void setCurrent(const QString &name);
    QString current() const;

    // Seconds per layout, brought into the bounds of ConfigKey::TourSeconds. A shorter
    // interval may make a layout due at once (at the next poll).
    void setIntervalSeconds(int seconds);
    int intervalSeconds() const { return m_intervalSeconds; }

    // Starting counts as a switch: the first layout is due an interval later.
    void start();
    void stop();
    bool isRunning() const { return m_running; }

    // The user worked with the grid: the next layout is due no sooner than an interval from now.
    void noteInteraction();

    // Emits layoutDue when the next layout is due (at most once per call: a late poll does
    // not catch up on the switches it missed).
    void poll();
    // Milliseconds until the next layout is due (0: due now), -1 when none will be.
    qint64 msUntilDue() const;

signals:
    void layoutDue(const QString &name);

private:
    void schedule();

    Clock m_clock;
    QTimer *m_timer = nullptr; // null with an injected clock
    QStringList m_layouts;
    int m_current = -1; // index into m_layouts, -1: none of them
    int m_intervalSeconds;
    bool m_running = false;
    qint64 m_sinceMs = 0; // the last switch, start or interaction
};
