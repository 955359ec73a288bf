#pragma once

#include "widgets/Clickable.h"

#include <QLabel>

// The arrow of a fold-out section (side column sections, device tree rows,
// device-type pickers). Keeps an open/folded state; a left-button release
// toggles it and reports the new state. The look depends on the parent's
// object name (rows and pickers use the small variant). GUI thread only.
class LabelFoldBtn : public Clickable<QLabel>
{
    Q_OBJECT
public:
    explicit LabelFoldBtn(QWidget *parent = nullptr);

    bool isOpen() const { return open; }
    // Flips the state and re-applies the look; emits clicked() when notify is set.
    void toggle(bool notify);

signals:
    void clicked(LabelFoldBtn *button, bool open);

protected:
    void leftButtonReleased() override;
    void changeEvent(QEvent *event) override;

private:
    void applyStyle();

    bool open = false;
    QString foldedStyle;
    QString unfoldedStyle;
    QString foldedRowStyle;
    QString unfoldedRowStyle;
};
