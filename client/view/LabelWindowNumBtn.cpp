#include "view/LabelWindowNumBtn.h"

#include "view/ViewControl.h"

#include <QPixmap>

LabelWindowNumBtn::LabelWindowNumBtn(QWidget *parent)
    : Clickable(parent)
{
    // The layout can change from elsewhere (popup, double-click zoom).
    connect(ViewControl::instance(), &ViewControl::windowNumberChangeMsg, this,
            [this] { showIcon(hovered || open); });
    showIcon(false);
}

QString LabelWindowNumBtn::iconPath(int mod, bool hover)
{
    if (!WindowMod::isValid(mod))
        return QString();
    const int k = WindowMod::imageNumber(mod);
    if (!hover)
        return QStringLiteral(":/main/images/btnImg/sc%1.png").arg(k);
    // Two of the hover images carry a space before the dot.
    if (k == 6 || k == 7)
        return QStringLiteral(":/main/images/btnImg/sc%1-hover .png").arg(k);
    return QStringLiteral(":/main/images/btnImg/sc%1-hover.png").arg(k);
}

void LabelWindowNumBtn::setOpen(bool on)
{
    open = on;
    showIcon(false);
}

void LabelWindowNumBtn::showIcon(bool hover)
{
    shownIcon = iconPath(ViewControl::instance()->windowMod(), hover);
    QPixmap pixmap;
    if (!shownIcon.isEmpty() && pixmap.load(shownIcon) && width() > 0 && height() > 0)
        pixmap = pixmap.scaled(size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    setPixmap(pixmap);
}

void LabelWindowNumBtn::enterEvent(QEnterEvent *event)
{
    hovered = true;
    showIcon(true);
    QLabel::enterEvent(event);
}

void LabelWindowNumBtn::leaveEvent(QEvent *event)
{
    hovered = false;
    if (!open)
        showIcon(false);
    QLabel::leaveEvent(event);
}

void LabelWindowNumBtn::leftButtonReleased()
{
    if (!open)
        showIcon(true);
    open = !open;
    emit clickWindowMenu();
}

void LabelWindowNumBtn::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    showIcon(hovered || open);
}
