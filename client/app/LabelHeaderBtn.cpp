#include "app/LabelHeaderBtn.h"

#include <QMouseEvent>

LabelHeaderBtn::LabelHeaderBtn(QWidget *parent)
    : QLabel(parent)
{
    setCursor(Qt::PointingHandCursor);
}

void LabelHeaderBtn::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}
