#include "widgets/LabelFoldBtn.h"

#include <QEvent>

LabelFoldBtn::LabelFoldBtn(QWidget *parent)
    : Clickable(parent, Release::Consume)
    , foldedStyle(QStringLiteral(
          "border-image:url(:/main/images/btnImg/fold.png);background:rgba(0,0,0,0)"))
    , unfoldedStyle(QStringLiteral(
          "border-image:url(:/main/images/btnImg/unfold.png);background:rgba(0,0,0,0)"))
    , foldedRowStyle(QStringLiteral(
          "border-image:url(:/main/images/btnImg/fold_row.png);background:rgba(0,0,0,0)"))
    , unfoldedRowStyle(QStringLiteral(
          "border-image:url(:/main/images/btnImg/unfold_row.png);background:rgba(0,0,0,0)"))
{
    applyStyle();
}

void LabelFoldBtn::toggle(bool notify)
{
    open = !open;
    applyStyle();
    if (notify)
        emit clicked(this, open);
}

void LabelFoldBtn::leftButtonReleased()
{
    toggle(true);
}

void LabelFoldBtn::changeEvent(QEvent *event)
{
    // The look depends on the parent, which uic sets after construction.
    if (event->type() == QEvent::ParentChange)
        applyStyle();
    QLabel::changeEvent(event);
}

void LabelFoldBtn::applyStyle()
{
    const QWidget *parent = parentWidget();
    const bool row = parent && (parent->objectName() == QLatin1String("widget_background") ||
                                parent->objectName() == QLatin1String("widget_devTypeBox"));
    if (row)
        setStyleSheet(open ? unfoldedRowStyle : foldedRowStyle);
    else
        setStyleSheet(open ? unfoldedStyle : foldedStyle);
}
