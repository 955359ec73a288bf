#pragma once

#include "widgets/Clickable.h"

#include <QLabel>

// The snapshot button of the control bar: pressed, it shows its pressed
// image; released, it saves the picture of the selected channel's cell
// (VideoRecord::takeSnapshot). GUI thread only.
class LabelShotBtn : public Clickable<QLabel>
{
    Q_OBJECT

public:
    explicit LabelShotBtn(QWidget *parent = nullptr);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void leftButtonReleased() override;
};
