#pragma once

#include "widgets/Clickable.h"

#include <QLabel>

// Minimise, maximise/restore and close buttons of the header. The object name
// chooses the four looks (normal, hover, toggled, toggled-hover); a left-button
// release flips the toggled state and reports it. GUI thread only.
class LabelSystemBtn : public Clickable<QLabel>
{
    Q_OBJECT
public:
    explicit LabelSystemBtn(QWidget *parent = nullptr);

    // Hides QObject::setObjectName so that uic-generated code, which names the
    // widget after construction, also picks the matching images.
    void setObjectName(QAnyStringView name);

    bool isToggled() const { return toggled; }
    void setToggled(bool on);

signals:
    void clicked(LabelSystemBtn *button, bool toggled);

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void leftButtonReleased() override;

private:
    void applyStyle();

    bool hovered = false;
    bool toggled = false;
    QString normalStyle;
    QString hoverStyle;
    QString toggledStyle;
    QString toggledHoverStyle;
};
