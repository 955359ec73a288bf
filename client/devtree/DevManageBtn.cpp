#include "devtree/DevManageBtn.h"

DevManageBtn::DevManageBtn(QWidget *parent)
    : Clickable(parent)
{}

void DevManageBtn::leftButtonReleased()
{
    emit clicked();
}
