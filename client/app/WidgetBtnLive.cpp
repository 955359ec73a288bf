#include "app/WidgetBtnLive.h"

#include "diagnostics/SystemInfo.h"

#include <QChildEvent>
#include <QLabel>
#include <QPainter>
#include <QStyleOption>

namespace {

const char *const selectedStyle =
    "WidgetBtnLive{background-color:qlineargradient(spread:pad, x1:0, y1:0, x2:0, y2:1, "
    "stop:0 #6a3d9a, stop:1 #4d2875);border:1px solid #3b1d5c;border-radius:3px;}";
const char *const unselectedStyle =
    "WidgetBtnLive{background-color:qlineargradient(spread:pad, x1:0, y1:0, x2:0, y2:1, "
    "stop:0 #5a5a5a, stop:1 #3c3c3c);border:1px solid #2a2a2a;border-radius:3px;}";
const char *const selectedLabelStyle = "color:#ffffff;font-size:12px;font-family: \"微软雅黑\";"
                                       "background:rgba(0,0,0,0);border:0;";
const char *const unselectedLabelStyle = "color:#c8c8c8;font-size:12px;font-family: \"微软雅黑\";"
                                         "background:rgba(0,0,0,0);border:0;";

} // namespace

WidgetBtnLive::WidgetBtnLive(QWidget *parent)
    : Clickable(parent)
{
    applyStyle();
}

void WidgetBtnLive::setSelected(bool on)
{
    selected = on;
    applyStyle();
}

void WidgetBtnLive::leftButtonReleased()
{
    emit clicked(this);
}

void WidgetBtnLive::paintEvent(QPaintEvent *)
{
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}

void WidgetBtnLive::childEvent(QChildEvent *event)
{
    // The caption label is created by the form after this widget.
    if (event->polished() && qobject_cast<QLabel *>(event->child()))
        applyStyle();
    QWidget::childEvent(event);
}

void WidgetBtnLive::applyStyle()
{
    setStyleSheet(QString::fromLatin1(selected ? selectedStyle : unselectedStyle));
    const auto labels = findChildren<QLabel *>(QString(), Qt::FindDirectChildrenOnly);
    const QString labelStyle = SystemInfo::instance()->scaleStyleSheet(
        QString::fromUtf8(selected ? selectedLabelStyle : unselectedLabelStyle));
    for (QLabel *label : labels)
        label->setStyleSheet(labelStyle);
}
