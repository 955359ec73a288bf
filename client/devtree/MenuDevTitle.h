#pragma once

#include <QMouseEvent>
#include <QWidget>

// The title strip of a device tree row. A left press reports a click; a
// right press reports a click and then the right click (so a right click
// also selects); a double click reports itself; a left drag reports its start. Paints its
// style-sheet background. GUI thread only.
class MenuDevTitle : public QWidget
{
    Q_OBJECT

public:
    explicit MenuDevTitle(QWidget *parent = nullptr);

signals:
    void clicked(MenuDevTitle *title);
    void rightClicked(MenuDevTitle *title, QMouseEvent *event);
    void doubleClick(MenuDevTitle *title);
    void dragStarted(MenuDevTitle *title);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QPoint m_pressAt{-1, -1};
};
