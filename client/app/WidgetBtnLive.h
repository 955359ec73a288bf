#pragma once

#include "widgets/Clickable.h"

#include <QWidget>

// One of the two mode buttons of the control bar (live view, remote
// playback): a painted background with a caption label, selected or not.
// A left-button release reports the click; the main window decides the
// switch. GUI thread only.
class WidgetBtnLive : public Clickable<QWidget>
{
    Q_OBJECT
public:
    explicit WidgetBtnLive(QWidget *parent = nullptr);

    bool isSelected() const { return selected; }
    void setSelected(bool on);

signals:
    void clicked(WidgetBtnLive *button);

protected:
    void leftButtonReleased() override;
    void paintEvent(QPaintEvent *event) override;
    void childEvent(QChildEvent *event) override;

private:
    void applyStyle();

    bool selected = false;
};
