#include "app/WidgetMenuWindow.h"

#include <QPainter>
#include <QStyleOption>

WidgetMenuWindow::WidgetMenuWindow(QWidget *parent)
    : QWidget(parent)
{}

void WidgetMenuWindow::toggle()
{
    open = !open;
    setVisible(open);
}

void WidgetMenuWindow::close()
{
    open = false;
    hide();
}

void WidgetMenuWindow::setHeight(int height)
{
    if (height < 1)
        return;
    setFixedHeight(height);
    // The content is the first child widget (the panel that fills the section).
    const auto children = findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
    if (!children.isEmpty())
        children.first()->setFixedHeight(height);
}

void WidgetMenuWindow::paintEvent(QPaintEvent *)
{
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}
