#include "devtree/MenuDevTitle.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyleOption>

MenuDevTitle::MenuDevTitle(QWidget *parent)
    : QWidget(parent)
{}

void MenuDevTitle::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        emit clicked(this);
    } else if (event->button() == Qt::RightButton) {
        emit clicked(this);
        emit rightClicked(this, event);
    }
    QWidget::mousePressEvent(event);
}

void MenuDevTitle::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        emit doubleClick(this);
    QWidget::mouseDoubleClickEvent(event);
}

void MenuDevTitle::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event)
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}
