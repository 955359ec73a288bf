#pragma once

#include "link/ChannelBufferItem.h"

#include <QEvent>

class Channel;

// Events by which the receive and decode steps report to Decode and Video on
// the GUI thread. Their type numbers continue the link layer's progress
// events (1000 and up). Each event owns its item until a handler takes it
// (sets item to null); an item nobody took is freed with the event.

// A video receive step's result (result < 0: error code, item without data).
class DecodeEvent_getVideo : public QEvent
{
public:
    static constexpr QEvent::Type TypeId = static_cast<QEvent::Type>(1018);
    DecodeEvent_getVideo(Channel *channel, bool live, int result, ChannelBufferItem *item)
        : QEvent(TypeId)
        , channel(channel)
        , live(live)
        , result(result)
        , item(item)
    {}
    ~DecodeEvent_getVideo() override { delete item; }

    Channel *channel;
    bool live;
    int result;
    ChannelBufferItem *item;
    // The AV channel the frame came from (-1: not known); a result of an AV
    // channel that has been closed since is dropped.
    int avIndex = -1;
};

// An audio receive step's result (0: nothing buffered).
class DecodeEvent_getAudio : public QEvent
{
public:
    static constexpr QEvent::Type TypeId = static_cast<QEvent::Type>(1019);
    DecodeEvent_getAudio(Channel *channel, bool live, int result, ChannelBufferItem *item)
        : QEvent(TypeId)
        , channel(channel)
        , live(live)
        , result(result)
        , item(item)
    {}
    ~DecodeEvent_getAudio() override { delete item; }

    Channel *channel;
    bool live;
    int result;
    ChannelBufferItem *item;
};

// A decode step's outcome (code, see Video::DecodeCode); width and height
// are 0 unless a picture was decoded.
class VideoEvent_decoede : public QEvent
{
public:
    static constexpr QEvent::Type TypeId = static_cast<QEvent::Type>(1020);
    VideoEvent_decoede(Channel *channel, bool live, int code, ChannelBufferItem *item, int width,
                       int height, uint timestamp)
        : QEvent(TypeId)
        , channel(channel)
        , live(live)
        , code(code)
        , item(item)
        , width(width)
        , height(height)
        , timestamp(timestamp)
    {}
    ~VideoEvent_decoede() override { delete item; }

    Channel *channel;
    bool live;
    int code;
    ChannelBufferItem *item;
    int width;
    int height;
    uint timestamp;
};

// An audio decode step's outcome: byteCount bytes of 16-bit PCM were decoded
// (0 when the frame gave none). The samples wait in Audio's mixer.
class AudioEvent_decoede : public QEvent
{
public:
    static constexpr QEvent::Type TypeId = static_cast<QEvent::Type>(1021);
    AudioEvent_decoede(Channel *channel, bool live, int byteCount)
        : QEvent(TypeId)
        , channel(channel)
        , live(live)
        , byteCount(byteCount)
    {}

    Channel *channel;
    bool live;
    int status = 1;
    int byteCount;
};

// The first key frame after a stream (re)start arrived.
class VideoEvent_icomming : public QEvent
{
public:
    static constexpr QEvent::Type TypeId = static_cast<QEvent::Type>(1026);
    VideoEvent_icomming(Channel *channel, bool live)
        : QEvent(TypeId)
        , channel(channel)
        , live(live)
    {}
    ~VideoEvent_icomming() override = default;

    Channel *channel;
    bool live;
};
