#include "app/LabelShotBtn.h"

#include "app/ActionNotices.h"
#include "media/VideoRecord.h"
#include "model/Dev.h"
#include "view/ViewControl.h"

namespace {

const QString NormalStyle =
    QStringLiteral("border-image: url(:/main/images/btnImg/screenShot.png);");
const QString PressedStyle =
    QStringLiteral("border-image: url(:/main/images/btnImg/screenShot-hover.png);");

} // namespace

LabelShotBtn::LabelShotBtn(QWidget *parent)
    : Clickable<QLabel>(parent)
{
    setStyleSheet(NormalStyle);
}

void LabelShotBtn::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        setStyleSheet(PressedStyle);
    QLabel::mousePressEvent(event);
}

void LabelShotBtn::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        setStyleSheet(NormalStyle);
    Clickable<QLabel>::mouseReleaseEvent(event);
}

void LabelShotBtn::leftButtonReleased()
{
    if (Channel *channel = Dev::instance()->selectedChannel())
        VideoRecord::instance()->takeSnapshot(channel, ViewControl::instance()->isLive());
    else
        ActionNotices::noChannel(this);
}
