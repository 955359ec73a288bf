#pragma once

#include "av/AvHandles.h"
#include "model/StreamCounters.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

struct AVCodec;
class ChannelSaveTimeout;

// H.264/H.265 decoder of one stream. Ready only when all five handles are set.
struct VideoDecoderSet
{
    AvPacketPtr packet;
    const AVCodec *codec = nullptr;
    AvParserPtr parser;
    AvCodecContextPtr context;
    AvFramePtr frame;

    bool ready() const { return packet && codec && parser && context && frame; }
    // Closes the parser and frees context, frame and packet.
    void reset();
};

// G.711 decoder of one stream. Ready only when all four handles are set.
struct AudioDecoderSet
{
    AvPacketPtr packet;
    const AVCodec *codec = nullptr;
    AvCodecContextPtr context;
    AvFramePtr frame;

    bool ready() const { return packet && codec && context && frame; }
    void reset();
};

// The complete stream and media state of a channel for one mode (live view or
// remote playback). Channel holds two of these.
//
// Threads: the stream flags are written on the GUI thread and read by the
// stream workers, hence atomic; the frame-rate fields belong to the stream's
// serial worker; the decoder, picture and recording fields to the decode
// step (under Video's and Audio's per-slot locks).
struct ChannelSlot
{
    // Stream state (link layer, view grid).
    std::atomic<int> avIndex{-1};          // AV channel index; -1 = not open
    bool quality = false;                  // true = HD, false = SD
    bool viewRequested = false;            // the user asked to view the channel in this mode
    int rxErrorCount = 0;                  // GUI thread: failed receives since the last frame
    std::atomic<bool> waitKeyFrame{false}; // (re)started, waiting for the first key frame
    std::atomic<bool> videoOn{false};      // video is requested, received and decoded
    std::atomic<bool> audioOn{false};      // audio is received and played
    bool paused = false;                   // playback stream paused (playback slot only)

    // Frame-rate measurement of the stream worker; -1 = not measured / closed.
    int frameRate = -1;
    qint64 frameRateWindowStart = -1;

    // Video decoding.
    // The timestamp of the last frame decoded (seconds; playback: recording time).
    std::atomic<quint32> lastFrameTimestamp{0};
    // Playback: the recording time (ms since the epoch, UTC) of the picture
    // a cell drew last; 0 before the first. Written on the GUI thread.
    std::atomic<qint64> shownRecordMs{0};
    VideoDecoderSet videoDecoder;
    int pictureWidth = 0; // size of the last decoded picture
    int pictureHeight = 0;

    // Running totals for the stream information panel (any thread).
    StreamCounters counters;

    // Audio decoding.
    AudioDecoderSet audioDecoder;

    // Recording (snapshots are taken from the picture exchange; the open file
    // belongs to VideoRecord). The flags are set on the GUI thread and read
    // by the decode step; the path and failure belong to the decode step.
    // The user asked to record; use Channel::setRecording, which clears recordKeySeen.
    std::atomic<bool> recording{false};
    // The first key frame after `recording` was set has been seen.
    std::atomic<bool> recordKeySeen{false};
    QString recordPath;        // path of the open file; empty when none is open
    bool recordFailed = false; // the file failed: nothing is written until `recording` is cleared
    ChannelSaveTimeout *recordTimer = nullptr; // owned; record-length timer or null

    ChannelSlot() = default;
    ChannelSlot(const ChannelSlot &) = delete;
    ChannelSlot &operator=(const ChannelSlot &) = delete;
    ~ChannelSlot();

    // Stops and deletes the record-length timer, if any.
    void deleteRecordTimer();
};

// Talk state of a channel (one copy).
struct TalkState
{
    bool talking = false;   // microphone audio is being sent
    int talkAvIndex = -1;   // AV server index of the talk stream
    int talkChannelId = -1; // free P2P channel used for talk
    int talkPending = 0;    // PCM bytes waiting in pcmBlock
    std::array<quint8, 640> pcmBlock{};
    std::array<quint8, 320> encoded{};
    const AVCodec *encoderCodec = nullptr;
    AvCodecContextPtr encoderContext;
    AvFramePtr encoderFrame;
    AvPacketPtr encoderPacket;
};
