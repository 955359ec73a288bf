#pragma once

#include "widgets/Clickable.h"

#include <QLabel>

class Channel;

// The record button of the control bar: a click switches recording of the
// selected channel in the grid's mode on or off (ViewControl::recordChange);
// it shows the active image while the selected channel records. GUI thread
// only.
class LabelRecordBtn : public Clickable<QLabel>
{
    Q_OBJECT

public:
    explicit LabelRecordBtn(QWidget *parent = nullptr);

    bool active() const { return m_active; }

public slots:
    // Shows the state of a newly selected channel.
    void loadRecordStatus(Channel *channel);
    // A channel's recording changed; shown when it is the selected channel.
    void recordChange(Channel *channel, bool on);

protected:
    void leftButtonReleased() override;

private:
    void setActive(bool on);

    bool m_active = false;
};
