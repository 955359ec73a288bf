#pragma once

#include "widgets/Clickable.h"

#include <QWidget>

// The close cross of a popup's header: reports a left-button release.
// Paints its style-sheet background. GUI thread only.
class CloseBtn : public Clickable<QWidget>
{
    Q_OBJECT

public:
    explicit CloseBtn(QWidget *parent = nullptr);

signals:
    void clicked();

protected:
    void leftButtonReleased() override { emit clicked(); }
    void paintEvent(QPaintEvent *event) override;
};
