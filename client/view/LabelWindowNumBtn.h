#pragma once

#include "widgets/Clickable.h"

#include <QLabel>

// The window-count button of the control bar: shows the icon of the grid's
// current layout, scaled to its own size, in its hover form while the mouse
// is over it or while the popup it opened is open. A left-button release
// flips the open state and asks for the popup. GUI thread only.
class LabelWindowNumBtn : public Clickable<QLabel>
{
    Q_OBJECT

public:
    explicit LabelWindowNumBtn(QWidget *parent = nullptr);

    bool isOpen() const { return open; }
    // Sets the flag and shows the normal icon (after a layout was chosen).
    void setOpen(bool open);

    // Image of a layout for the button: "sc<k>.png", or its hover variant.
    // Empty for a value outside the table.
    static QString iconPath(int mod, bool hover);
    // The image shown now.
    QString currentIcon() const { return shownIcon; }

signals:
    void clickWindowMenu();

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void leftButtonReleased() override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void showIcon(bool hover);

    bool open = false;
    bool hovered = false;
    QString shownIcon;
};
