#pragma once

#include <QObject>

class Channel;
class Location;

// Local recordings of the grid's channels and their length: a recording
// started here stops by itself after "config/timeLength" minutes (bounded),
// whatever mode the grid shows by then. Each channel slot keeps its own
// timer (ChannelSlot::recordTimer).
//
// GUI thread only.
class RecordLength : public QObject
{
    Q_OBJECT

public:
    explicit RecordLength(Location *location, QObject *parent = nullptr);

    // Starts or stops the recording of the channel's slot of the mode.
    void change(Channel *channel, bool live, bool on);
    // Ends the slot's recording if it runs (its file could not be written).
    void end(Channel *channel, bool live);
    // Test seam: the length of one minute in milliseconds.
    void setMinuteMs(int ms) { m_minuteMs = ms; }

signals:
    // A recording started (on) or ended, by the user or its timer.
    void changed(Channel *channel, bool live, bool on);

private:
    void lengthReached(Channel *channel);
    static void dropTimer(Channel *channel, bool live);

    Location *m_location;
    int m_minuteMs = 60000;
};
