#pragma once

#include <QWidget>

class QMouseEvent;

// One clickable row of the playback timeline: reports a left-button press
// and every move while pressed (clicked), and the end of the press (released)
// when the button goes up or the pointer leaves the row.
class TimeLine : public QWidget
{
    Q_OBJECT

public:
    explicit TimeLine(QWidget *parent = nullptr);

signals:
    void clicked(QMouseEvent *event);
    void released();
    void moveMsg(QPoint point);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    bool m_pressed = false;
};
