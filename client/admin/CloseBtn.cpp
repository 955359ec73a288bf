#include "admin/CloseBtn.h"

#include <QPainter>
#include <QStyleOption>

CloseBtn::CloseBtn(QWidget *parent)
    : Clickable<QWidget>(parent, Release::Consume)
{}

void CloseBtn::paintEvent(QPaintEvent *)
{
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}
