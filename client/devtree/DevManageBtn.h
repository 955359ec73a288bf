#pragma once

#include "widgets/Clickable.h"

#include <QLabel>

// A button of the device tree that opens the device manager: reports a
// left-button release. GUI thread only.
class DevManageBtn : public Clickable<QLabel>
{
    Q_OBJECT

public:
    explicit DevManageBtn(QWidget *parent = nullptr);

signals:
    void clicked();

protected:
    void leftButtonReleased() override;
};
