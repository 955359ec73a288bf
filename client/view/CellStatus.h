#pragma once

#include <QObject>
#include <QTimer>

class Channel;
class Device;
class ViewControl;

// The status texts over the grid's cells. Offline: every cell whose device is
// offline says so, with the time of the device's next connect attempt
// (looked at again every second while any cell waits, since each attempt
// sets a new time).
//
// GUI thread only.
class CellStatus : public QObject
{
    Q_OBJECT

public:
    explicit CellStatus(ViewControl *view);

    void showOffline();
    // A live or playback stream of an online device fell silent (the media
    // pipeline restarts it): its cell says so while the grid shows that mode.
    void showNoVideo(Channel *channel, bool live);
    // A connect failure of channel's link that waits for the user (refused
    // credentials, another device key): the cells of the device's channels
    // (of `channel` alone unless wholeDevice) say so with the link's reason,
    // until pictures come or the cell changes. False for any other failure.
    bool showRefused(Channel *channel, int code, const QString &reason, bool wholeDevice);
    // The user changed how device is reached (account, password, address,
    // trusted key): its live cells without a stream try again at once, an
    // offline device without waiting for its next attempt.
    void retry(Device *device);

private:
    ViewControl *m_view;
    QTimer m_refresh;
};
