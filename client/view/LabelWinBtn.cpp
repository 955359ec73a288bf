#include "view/LabelWinBtn.h"

#include <QMouseEvent>

namespace {
const QLatin1String NamePrefix("label_sc");
}

LabelWinBtn::LabelWinBtn(QWidget *parent)
    : QLabel(parent)
{
    setCursor(Qt::PointingHandCursor);
}

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

void LabelWinBtn::mouseReleaseEvent(QMouseEvent *event)
{
    const int k = number();
    if (event->button() == Qt::LeftButton && k > 0)
        emit clickWindowMod(static_cast<WINDOW_MOD>(k - 1));
    QLabel::mouseReleaseEvent(event);
}
