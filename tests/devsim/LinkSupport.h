#pragma once
// Helpers for the link tests: a P2P client on the C surface, talking to devsim on loopback.

#include "DevsimProcess.h"

#include <p2p/FrameInfo.h>
#include <p2p/p2p.h>

#include <QByteArray>
#include <QDeadlineTimer>
#include <QRandomGenerator>
#include <QThread>

#include <cstdint>
#include <optional>
#include <vector>

namespace linktest {

// A discovery port for this test run, away from the default one.
inline quint16 randomDiscoveryPort()
{
    return static_cast<quint16>(QRandomGenerator::global()->bounded(40000, 60000));
}

// Starts the library with the environment set for this case: peers (may be empty) and
// the discovery port.
inline bool initLibrary(const QByteArray &peers, quint16 discoveryPort)
{
    if (peers.isEmpty())
        qunsetenv(P2P_ENV_PEERS);
    else
        qputenv(P2P_ENV_PEERS, peers);
    qputenv(P2P_ENV_DISCOVERY_PORT, QByteArray::number(discoveryPort));
    return IOTC_Initialize2(0) == 0 && avInitialize(4096) >= 0;
}

inline void deinitLibrary()
{
    avDeInitialize();
    IOTC_DeInitialize();
}

// Opens a session to `uid`; the result of IOTC_Connect_ByUID_Parallel (the session id on success).
inline int connectUid(const char *uid)
{
    const int sid = IOTC_Get_SessionID();
    if (sid < 0)
        return sid;
    return IOTC_Connect_ByUID_Parallel(uid, sid);
}

inline int startAv(int sid, const char *account, const char *password, int channel)
{
    unsigned int serviceType = 0;
    int resend = 0;
    return avClientStart2(sid, account, password, 5, &serviceType,
                          static_cast<unsigned char>(channel), &resend);
}

// devsim running one device, the library pointed at it through the peer list, a session
// and an AV channel: the set-up of the link tests. The destructor closes the session and
// stops the library (devsim ends with the DevsimProcess).
struct DevsimLink
{
    ~DevsimLink()
    {
        if (sid >= 0)
            IOTC_Session_Close(sid);
        deinitLibrary();
    }

    // Starts devsim with `args` (its --uid names the device) and the library, connects and
    // opens an AV channel on `channel`. False, with a warning, on failure.
    bool open(const QStringList &args, quint16 discoveryPort, const char *account,
              const char *password, int channel = 0)
    {
        sim.setDiscoveryPort(discoveryPort);
        if (!sim.start(args)) {
            qWarning("%s", qPrintable(sim.errorText()));
            return false;
        }
        if (!initLibrary(sim.peersEnv().toLatin1(), discoveryPort))
            return false;
        sid = connectUid(sim.uids().constFirst().toLatin1().constData());
        av = sid < 0 ? sid : startAv(sid, account, password, channel);
        if (av < 0)
            qWarning("connect or avClientStart2: %d", av);
        return av >= 0;
    }

    DevsimProcess sim;
    int sid = -1;
    int av = -1;
};

inline QByteArray u32s(std::initializer_list<std::uint32_t> values)
{
    QByteArray out;
    for (std::uint32_t v : values)
        for (int i = 0; i < 4; ++i)
            out.append(static_cast<char>((v >> (8 * i)) & 0xFF));
    return out;
}

inline int sendIo(int av, std::uint32_t type, const QByteArray &payload)
{
    return avSendIOCtrl(av, type, payload.constData(), static_cast<int>(payload.size()));
}

// Waits for an IO control message of `type`; other messages are skipped.
inline std::optional<QByteArray> waitIo(int av, std::uint32_t type, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    static thread_local std::vector<char> buf(P2P_MAX_IOCTRL_SIZE);
    while (!deadline.hasExpired()) {
        unsigned int got = 0;
        const int n = avRecvIOCtrl(av, &got, buf.data(), static_cast<int>(buf.size()), 200);
        if (n >= 0 && got == type)
            return QByteArray(buf.data(), n);
        if (n < 0 && n != AV_ER_TIMEOUT && n != AV_ER_DATA_NOREADY)
            return std::nullopt;
    }
    return std::nullopt;
}

struct Frame
{
    QByteArray data;
    p2p::FrameInfo info;
};

// Polls for the next video (or audio) frame; nullopt on time-out or when the link failed.
inline std::optional<Frame> recvFrame(int av, bool audio, int timeoutMs)
{
    static thread_local std::vector<char> buf(P2P_MAX_VIDEO_FRAME_SIZE);
    QDeadlineTimer deadline(timeoutMs);
    do { // at least one try: a time-out of 0 polls
        char info[P2P_FRAME_INFO_SIZE] = {};
        int actual = 0, expected = 0, infoSize = 0;
        unsigned int number = 0;
        const int size = static_cast<int>(buf.size());
        const int n = audio ? avRecvAudioData(av, buf.data(), size, info, sizeof info, &number)
                            : avRecvFrameData2(av, buf.data(), size, &actual, &expected, info,
                                               sizeof info, &infoSize, &number);
        if (n >= 0)
            return Frame{QByteArray(buf.data(), n),
                         p2p::FrameInfo::parse(reinterpret_cast<const std::uint8_t *>(info))};
        if (n != AV_ER_DATA_NOREADY || deadline.hasExpired())
            return std::nullopt;
        QThread::msleep(5);
    } while (!deadline.hasExpired());
    return std::nullopt;
}

inline std::optional<Frame> recvVideo(int av, int timeoutMs)
{
    return recvFrame(av, false, timeoutMs);
}

inline std::optional<Frame> recvAudio(int av, int timeoutMs)
{
    return recvFrame(av, true, timeoutMs);
}

} // namespace linktest
