#pragma once

#include "WavWriter.h"

#include <QString>

#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

namespace devsim {

// The talk audio clients send to one device: one open talk channel at a time is counted and,
// with --talk-wav, decoded from A-law and written to that WAV file when it closes. Prints the
// TALK_OPEN, TALK and TALK_CLOSE status lines.
//
// Threads: any (the server's network thread, the media thread, the main thread); its own lock.
class TalkRecorder
{
public:
    TalkRecorder(const QString &uid, const QString &wavPath);

    // A talk channel's login ended with result; a successful one is recorded from now on,
    // ending the recording of any other.
    void opened(int session, int channel, int result);
    void audio(int session, int channel, const std::vector<std::uint8_t> &alaw);
    // Ends the recording when it is of this channel, or of this session.
    void closed(int session, int channel);
    void sessionClosed(int session);
    // Ends the recording, whichever channel it is of.
    void finish();
    // Prints "TALK <uid> <bytes>" when more talk audio arrived since the last call.
    void reportProgress();

private:
    void finishLocked();

    const QString m_uid;
    const QString m_wavPath; // empty: nothing is written
    std::mutex m_lock;
    std::pair<int, int> m_talk{-1, -1}; // (session, channel) being recorded
    std::uint64_t m_bytes = 0;
    std::uint64_t m_bytesReported = 0;
    WavWriter m_wav;
};

} // namespace devsim
