#include "account/LoginComboBox.h"

#include <QAbstractItemView>

LoginComboBox::LoginComboBox(QWidget *parent)
    : QComboBox(parent)
{}

void LoginComboBox::showPopup()
{
    QComboBox::showPopup();
    QWidget *frame = view() ? view()->parentWidget() : nullptr;
    if (!frame)
        return;
    frame->move(mapToGlobal(QPoint(0, 0)) + QPoint(-40, height()));
    frame->setMinimumWidth(width() + 41);
}
