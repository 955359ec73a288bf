#pragma once

#include <QLabel>

// A button of the device tree that opens the device manager: reports a
// left-button release. GUI thread only.
class DevManageBtn : public QLabel
{
    Q_OBJECT

public:
    explicit DevManageBtn(QWidget *parent = nullptr);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
};
