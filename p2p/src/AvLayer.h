#pragma once

#include <p2p/p2p.h>

#include "ClientState.h"
#include "Wire.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace p2p {

// The AV layer of the client library behind the av… calls: channel logins in
// the client role (avClientStart2) and the server role (avServStart3), IO
// control, video and audio frames, talk audio. Channels live in the shared
// AvChannelTable; sessions belong to ClientEngine.
//
// Threads: the av… calls come from any thread and block on the shared
// condition variable; onMessage() runs on the engine's io thread.
class AvLayer
{
public:
    static constexpr std::size_t kSendQueueBytes = 4 * 1024 * 1024;

    explicit AvLayer(ClientState &state);

    // Any thread.
    void setMax(int maxChannels);
    // Closes every channel and wakes every blocked call.
    void shutdown();
    int clientStart(int sid, const char *account, const char *password, unsigned timeoutSec,
                    unsigned *serviceType, std::uint8_t channel, int *resend);
    int clientStop(int av);
    int clientExit(int sid, std::uint8_t channel);
    int cleanBuf(int av, bool video, bool audio);
    int sendIoCtrl(int av, unsigned type, const char *data, int size);
    int recvIoCtrl(int av, unsigned *type, char *buf, int bufSize, unsigned timeoutMs);
    int sendIoCtrlExit(int av);
    int servStart(int sid, avAuthFn authenticate, unsigned timeoutSec, unsigned serviceType,
                  std::uint8_t channel, int *resend);
    int servStop(int av);
    int servResendSize(int av, unsigned *size);
    int sendAudio(int av, const char *data, int size, const void *info, int infoSize);
    int recvFrame(int av, const AvChannel::FrameOut &out);
    int checkAudio(int av);
    int recvAudio(int av, const AvChannel::FrameOut &out);

    // Io thread, holding the state's mutex: an AV message on a connected session.
    void onMessageLocked(ClientSession &s, wire::Message &&msg);

private:
    using ChannelPtr = std::shared_ptr<AvChannel>;

    // Registers a new AV channel of the session (client or server role);
    // returns 0 or an AV error code.
    int openLocked(int sid, std::uint8_t channel, bool server, std::shared_ptr<ClientSession> &s,
                   ChannelPtr &c);
    // The channel a receive on av reads from, as long as it is not closed;
    // returns 0 or an AV error code (the close code once closed).
    int recvSourceLocked(int av, ChannelPtr &c) const;
    // The open channel and its connected session that a send on av goes
    // through; returns 0 or an AV error code.
    int sendTargetLocked(int av, ChannelPtr &c, std::shared_ptr<ClientSession> &s) const;
    // Frees the AV index of a channel whose start failed and closes it.
    int failStartLocked(const ChannelPtr &c, int code, bool tellPeer);
    // The code a failed avClientStart2 reports.
    int clientStartErrorLocked(const AvChannel &c) const;

    // One handler per AV message type; a malformed message closes the session.
    void onAvLogin(ClientSession &s, wire::Message &msg);
    void onAvLoginResult(ClientSession &s, wire::Message &msg);
    void onAvClose(ClientSession &s, wire::Message &msg);
    void onIoCtrl(ClientSession &s, wire::Message &msg);
    void onVideo(ClientSession &s, wire::Message &msg);
    void onAudio(ClientSession &s, wire::Message &msg);

    ClientState &state_;
};

} // namespace p2p
