#pragma once

#include "link/ChannelRef.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <utility>

class Channel;
class QComboBox;
class Cruise;
class Point;
class PtzBtn;
class PtzTab;

// The PTZ panel: eight arrows and zoom, focus and iris pairs that move the
// selected channel's camera while held, and the step (speed, 1 to 8). A
// press sends the movement and repeats it every 2 s while held; the end of
// the press (release, the pointer or the window's focus gone) sends the
// stop. The channel a movement started on gets its repeats and its stop,
// even when another one is selected meanwhile. The arrow keys do the same
// for the grid (see handleKey).
// GUI thread only.
class MenuPtz : public QWidget
{
    Q_OBJECT

public:
    static constexpr int ResendMs = 2000;

    explicit MenuPtz(QWidget *parent = nullptr);

    // The camera class (IPC 7 and IPC(PTZ) 10) moves by the short form's
    // four directions; every other device by the long form's full set.
    static bool isCameraClass(int deviceType);
    // The command and form a UI code (1..14) sends; command -1 for none.
    static std::pair<int, bool> commandFor(int code, int deviceType);

    int step() const;
    PtzBtn *button(int code) const;
    PtzTab *tab(const QString &name) const;
    Point *pointPanel() const { return m_point; }
    Cruise *cruisePanel() const { return m_cruise; }
    bool isMoving() const { return m_moving; }
    // Arrow keys held on the grid move the selected channel; true when handled.
    bool handleKey(int key, bool pressed, bool autoRepeat);

public slots:
    void clickDirection(int code);
    void stopPtz();
    void resent();
    void selectedTab(PtzTab *tab);
    // Shows the tabs the selected channel's device offers.
    void offerFeatures(Channel *ch);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void send(int code);

    QComboBox *m_step;
    QList<PtzBtn *> m_buttons;
    QList<PtzTab *> m_tabs;
    Point *m_point = nullptr;
    Cruise *m_cruise = nullptr;
    QTimer m_resend;
    int m_lastCode = 0;
    QPointer<QObject> m_topLevel;
    ChannelRef m_channel; // the channel a movement runs on, until its stop (empty: none)
    bool m_moving = false;
    int m_heldKey = 0;
};
