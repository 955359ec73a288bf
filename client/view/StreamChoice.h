#pragma once

#include <QHash>
#include <QObject>
#include <QTimer>

#include <functional>

class Channel;
class Dev;
class DeviceLink;

// Which of each live channel's two streams the grid asks for: the one that
// fits the largest of the channel's visible cells, in any window, digital
// zoom included (StreamFit), or the main stream (HD) everywhere when the user
// pinned it. A fit runs DelayMs after it was last scheduled (a cell's size,
// the layout or a zoom changed, a stream started), so a size that is still
// settling asks nothing. A quality asked is remembered until the link
// answers. GUI thread only.
class StreamChoice : public QObject
{
    Q_OBJECT

public:
    static constexpr int DelayMs = 300;

    using LinkOf = std::function<DeviceLink *(const Channel *)>;
    StreamChoice(Dev *dev, LinkOf linkOf, QObject *parent = nullptr);

    void schedule() { m_timer.start(); }
    // Asks each live channel for the stream that fits it now.
    void fit();
    // The channel's stream starts afresh (or goes): nothing is asked of it.
    void forget(Channel *channel) { m_asked.remove(channel); }

private:
    Dev *m_dev;
    LinkOf m_linkOf;
    QTimer m_timer;
    QHash<Channel *, bool> m_asked; // quality changes not yet answered
};
