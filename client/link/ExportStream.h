#pragma once

#include <QString>

#include <functional>

struct ChannelBufferItem;

// One channel's export of a recorded range: the device sends its pictures
// and sound faster than real time on an AV channel of their own, and the
// stream hands every frame to the consumer as it comes. Made by
// DeviceLink::openExport.
class ExportStream
{
public:
    struct Callbacks
    {
        // Worker thread: one received frame (video or audio), owned by the callee.
        std::function<void(ChannelBufferItem *item, bool video)> frame;
        // GUI thread, once: everything arrived (ok), or why not.
        std::function<void(bool ok, const QString &why)> finished;
    };
    virtual ~ExportStream() = default;
    // GUI thread.
    virtual void start(Callbacks callbacks) = 0;
    // GUI thread: ends the export; finished is not called after it returns.
    virtual void cancel() = 0;
};
