#pragma once

#include "view/WindowMod.h"
#include "widgets/Clickable.h"

#include <QLabel>

// One entry of the window-count popup. Its object name, "label_sc1" ...
// "label_sc11", selects its layout (entry k stands for mode k - 1) and its
// image "pt_sc<k>.png". Highlighted while the mouse is over it; a left-button
// release reports its mode. GUI thread only.
class LabelWinBtn : public Clickable<QLabel>
{
    Q_OBJECT

public:
    explicit LabelWinBtn(QWidget *parent = nullptr);

    // The entry number from the object name (1 ... 11), or 0 when the name is
    // not one of the entries'.
    int number() const;
    // The plain and the hover style of entry k.
    static QString plainStyle(int k);
    static QString hoverStyle(int k);
    // Re-applies the plain look (after the object name is set).
    void refreshStyle();

signals:
    void clickWindowMod(WINDOW_MOD mod);

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void leftButtonReleased() override;
};
