#include "view/LabelWinBtn.h"

namespace {
const QLatin1String NamePrefix("label_sc");
}

LabelWinBtn::LabelWinBtn(QWidget *parent)
    : Clickable(parent)
{}

int LabelWinBtn::number() const
{
    const QString name = objectName();
    if (!name.startsWith(NamePrefix))
        return 0;
    bool ok = false;
    const int k = name.mid(NamePrefix.size()).toInt(&ok);
    return ok && k >= 1 && k <= WindowMod::Count ? k : 0;
}

QString LabelWinBtn::plainStyle(int k)
{
    return QStringLiteral("border-image: url(:/main/images/btnImg/pt_sc%1.png);").arg(k);
}

QString LabelWinBtn::hoverStyle(int k)
{
    return QStringLiteral("border-image: url(:/main/images/btnImg/pt_sc%1.png);"
                          "background-color:rgba(255,255,255,0.2)")
        .arg(k);
}

void LabelWinBtn::refreshStyle()
{
    if (const int k = number())
        setStyleSheet(plainStyle(k));
}

void LabelWinBtn::enterEvent(QEnterEvent *event)
{
    if (const int k = number())
        setStyleSheet(hoverStyle(k));
    QLabel::enterEvent(event);
}

void LabelWinBtn::leaveEvent(QEvent *event)
{
    refreshStyle();
    QLabel::leaveEvent(event);
}

void LabelWinBtn::leftButtonReleased()
{
    if (const int k = number())
        emit clickWindowMod(static_cast<WINDOW_MOD>(k - 1));
}
