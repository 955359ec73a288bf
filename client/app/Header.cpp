#include "app/Header.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyleOption>

Header::Header(QWidget *parent)
    : QWidget(parent)
{}

void Header::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        const QPoint p = event->position().toPoint();
        pressed = true;
        pressX = p.x();
        pressY = p.y();
    }
    QWidget::mousePressEvent(event);
}

void Header::mouseMoveEvent(QMouseEvent *event)
{
    if (pressed) {
        const QPoint p = event->position().toPoint();
        emit moveMsg(QPoint(p.x() - pressX, p.y() - pressY));
    }
    QWidget::mouseMoveEvent(event);
}

void Header::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        pressed = false;
    QWidget::mouseReleaseEvent(event);
}

void Header::paintEvent(QPaintEvent *)
{
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}
