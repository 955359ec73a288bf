#include "app/LabelHeaderBtn.h"

LabelHeaderBtn::LabelHeaderBtn(QWidget *parent)
    : Clickable(parent)
{}

void LabelHeaderBtn::leftButtonReleased()
{
    emit clicked();
}
