#include "app/LabelSystemBtn.h"

namespace {

QString imageStyle(const QString &file)
{
    return QStringLiteral("border-image:url(:/main/images/btnImg/") + file +
           QStringLiteral(");background:rgba(0,0,0,0)");
}

} // namespace

LabelSystemBtn::LabelSystemBtn(QWidget *parent)
    : Clickable(parent, Release::Consume)
{}

void LabelSystemBtn::setObjectName(QAnyStringView objectName)
{
    const QString name = objectName.toString();
    QObject::setObjectName(name);
    QString normal, hover, on, onHover;
    if (name == QLatin1String("label_icon_minimize")) {
        normal = on = QStringLiteral("btn_min.png");
        hover = onHover = QStringLiteral("btn_min_pre.png");
    } else if (name == QLatin1String("label_icon_close")) {
        normal = on = QStringLiteral("btn_close.png");
        hover = onHover = QStringLiteral("btn_close_pre.png");
    } else if (name == QLatin1String("label_icon_fullscreen")) {
        normal = QStringLiteral("btn_max.png");
        hover = QStringLiteral("btn_max_pre.png");
        on = QStringLiteral("btn_window.png");
        onHover = QStringLiteral("btn_window_pre.png");
    } else {
        return;
    }
    normalStyle = imageStyle(normal);
    hoverStyle = imageStyle(hover);
    toggledStyle = imageStyle(on);
    toggledHoverStyle = imageStyle(onHover);
    applyStyle();
}

void LabelSystemBtn::setToggled(bool on)
{
    toggled = on;
    applyStyle();
}

void LabelSystemBtn::enterEvent(QEnterEvent *event)
{
    hovered = true;
    applyStyle();
    QLabel::enterEvent(event);
}

void LabelSystemBtn::leaveEvent(QEvent *event)
{
    hovered = false;
    applyStyle();
    QLabel::leaveEvent(event);
}

void LabelSystemBtn::leftButtonReleased()
{
    toggled = !toggled;
    applyStyle();
    emit clicked(this, toggled);
}

void LabelSystemBtn::applyStyle()
{
    if (normalStyle.isEmpty())
        return;
    if (hovered)
        setStyleSheet(toggled ? toggledHoverStyle : hoverStyle);
    else
        setStyleSheet(toggled ? toggledStyle : normalStyle);
}
