#include "app/LabelRecordBtn.h"

#include "app/ActionNotices.h"
#include "diagnostics/Checks.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "view/ViewControl.h"

namespace {

const QString NormalStyle =
    QStringLiteral("border-image: url(:/main/images/btnImg/screenCap.png);");
const QString ActiveStyle =
    QStringLiteral("border-image: url(:/main/images/btnImg/screenCap-hover.png);");

} // namespace

LabelRecordBtn::LabelRecordBtn(QWidget *parent)
    : Clickable<QLabel>(parent)
{
    setStyleSheet(NormalStyle);
    connect(Dev::instance(), &Dev::selectChannelMsg, this, &LabelRecordBtn::loadRecordStatus);
    connect(ViewControl::instance(), &ViewControl::recordMsg, this, &LabelRecordBtn::recordChange);
}

void LabelRecordBtn::setActive(bool on)
{
    m_active = on;
    setStyleSheet(on ? ActiveStyle : NormalStyle);
}

void LabelRecordBtn::loadRecordStatus(Channel *channel)
{
    ORVANE_ASSERT_GUI_THREAD();
    setActive(channel && channel->recording(ViewControl::instance()->isLive()));
}

void LabelRecordBtn::recordChange(Channel *channel, bool on)
{
    ORVANE_ASSERT_GUI_THREAD();
    if (channel && channel == Dev::instance()->selectedChannel())
        setActive(on);
}

void LabelRecordBtn::leftButtonReleased()
{
    Channel *channel = Dev::instance()->selectedChannel();
    if (!channel) {
        ActionNotices::noChannel(this);
        return;
    }
    ViewControl *view = ViewControl::instance();
    view->recordChange(channel, !channel->recording(view->isLive()));
}
