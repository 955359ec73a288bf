#pragma once

#include "widgets/Clickable.h"

#include <QLabel>

// A text label of the header that acts as a button (user name, control
// panel): emits clicked() on a left-button release. GUI thread only.
class LabelHeaderBtn : public Clickable<QLabel>
{
    Q_OBJECT
public:
    explicit LabelHeaderBtn(QWidget *parent = nullptr);

signals:
    void clicked();

protected:
    void leftButtonReleased() override;
};
