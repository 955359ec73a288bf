#pragma once

#include <QPoint>
#include <QWidget>

// The header strip of the main window. Dragging it with the left button
// reports the offset from the press point, which the host window applies to
// its own position. GUI thread only.
class Header : public QWidget
{
    Q_OBJECT
public:
    explicit Header(QWidget *parent = nullptr);

signals:
    void moveMsg(QPoint delta);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    bool pressed = false;
    int pressX = 0;
    int pressY = 0;
};
