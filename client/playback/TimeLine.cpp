#include "playback/TimeLine.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyleOption>

TimeLine::TimeLine(QWidget *parent)
    : QWidget(parent)
{}

void TimeLine::paintEvent(QPaintEvent *)
{
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}

void TimeLine::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        m_pressed = true;
        emit clicked(event);
    }
    QWidget::mousePressEvent(event);
}

void TimeLine::mouseMoveEvent(QMouseEvent *event)
{
    if (m_pressed)
        emit clicked(event);
    QWidget::mouseMoveEvent(event);
}

void TimeLine::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        m_pressed = false;
        emit released();
    }
    QWidget::mouseReleaseEvent(event);
}

void TimeLine::leaveEvent(QEvent *event)
{
    if (m_pressed) {
        m_pressed = false;
        emit released();
    }
    QWidget::leaveEvent(event);
}
