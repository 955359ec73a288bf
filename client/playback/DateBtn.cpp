#include "playback/DateBtn.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyleOption>

DateBtn::DateBtn(QWidget *parent)
    : QLabel(parent)
{
    setStyleSheet(QStringLiteral("border-image: url(:/main/images/btnImg/calendar.png);"));
    setCursor(Qt::PointingHandCursor);
}

void DateBtn::paintEvent(QPaintEvent *)
{
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}

void DateBtn::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        emit clicked();
    QLabel::mousePressEvent(event);
}
