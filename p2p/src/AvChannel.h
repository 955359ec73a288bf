#pragma once

#include "Wire.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace p2p {

// One AV channel of a client session, in the client role (avClientStart2) or
// the server role (avServStart3): its state, the login under way and the
// queues of what arrived for the reader.
//
// Threads: not thread-safe; ClientState's mutex guards every AvChannel.
class AvChannel
{
public:
    enum class State { Starting, Open, Closed };

    static constexpr std::size_t kVideoQueueFrames = 64;
    static constexpr std::size_t kVideoQueueBytes = 16 * 1024 * 1024;
    static constexpr std::size_t kAudioQueueFrames = 128;
    static constexpr std::size_t kIoQueueMessages = 128;
    static constexpr std::size_t kIoQueueBytes = 1024 * 1024;

    struct IoMsg
    {
        std::uint32_t type = 0;
        std::vector<std::uint8_t> data;
    };

    // Where a received frame goes and what the reader gets back.
    struct FrameOut
    {
        char *buf = nullptr;
        int bufSize = 0;
        int *actualSize = nullptr;
        int *expectedSize = nullptr;
        char *info = nullptr;
        int infoSize = 0;
        int *actualInfoSize = nullptr;
        unsigned *frameNumber = nullptr;
    };

    AvChannel(int av, int sid, std::uint8_t channel, bool server)
        : av(av)
        , sid(sid)
        , channel(channel)
        , server(server)
    {}

    bool isOpen() const { return state == State::Open; }
    bool isClosed() const { return state == State::Closed; }

    // Closes the channel with `code` (the first close keeps its code) and
    // drops the frames nobody read.
    void close(int code);
    void clearVideo();
    void clearAudio() { audio_.clear(); }
    std::size_t audioFrames() const { return audio_.size(); }

    // Queues what arrived; each queue is bounded so that a reader that does
    // not poll cannot exhaust memory. A video message must hold a frame
    // prefix (the reader checked the length).
    void pushIoCtrl(const wire::IoCtrlView &msg);
    void pushVideo(std::vector<std::uint8_t> &&payload);
    void pushAudio(std::vector<std::uint8_t> &&payload);

    // The oldest IO control message, if any.
    std::optional<IoMsg> popIoCtrl();
    // Hands the oldest frame to the reader: its size, or an AV error code
    // (AV_ER_DATA_NOREADY when none is queued).
    int popVideo(const FrameOut &out);
    int popAudio(const FrameOut &out);

    const int av;
    const int sid;
    const std::uint8_t channel;
    const bool server;
    State state = State::Starting;
    int closeCode = 0;
    // Starting, as client: the server's answer.
    std::optional<wire::AvLoginResult> loginResult;
    bool exitRequested = false;
    // Starting, as server: a peer's login waiting to be checked.
    std::optional<wire::AvLogin> pendingLogin;
    // Bumped by avSendIOCtrlExit: ends the receives waiting at that moment.
    std::uint64_t ioExitGeneration = 0;
    std::uint32_t audioSendNumber = 0;

private:
    struct Frame
    {
        std::vector<std::uint8_t> payload; // frame number, frame info, data
        bool key = false;
    };

    static int popFrame(std::deque<Frame> &q, std::size_t *bytes, const FrameOut &out);

    std::deque<IoMsg> io_;
    std::size_t ioBytes_ = 0;
    std::deque<Frame> video_;
    std::size_t videoBytes_ = 0;
    bool videoWaitKey_ = false;
    std::deque<Frame> audio_;
};

} // namespace p2p
