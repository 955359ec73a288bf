#include "devtree/MenuDevTitle.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOption>

MenuDevTitle::MenuDevTitle(QWidget *parent)
    : QWidget(parent)
{}

void MenuDevTitle::mousePressEvent(QMouseEvent *event)
{
    m_pressAt = QPoint(-1, -1);
    if (event->button() == Qt::LeftButton) {
        m_pressAt = event->position().toPoint();
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

void MenuDevTitle::mouseMoveEvent(QMouseEvent *event)
{
    if ((event->buttons() & Qt::LeftButton) && m_pressAt.x() >= 0 &&
        (event->position().toPoint() - m_pressAt).manhattanLength() >=
            QApplication::startDragDistance()) {
        m_pressAt = QPoint(-1, -1);
        emit dragStarted(this);
    }
    QWidget::mouseMoveEvent(event);
}

void MenuDevTitle::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event)
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}
