#pragma once

// A scripted stand-in for the library's frame and audio receive calls.

#include "link/StreamReceive.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMutex>

#include <cstring>

struct FakeFrame
{
    int result = 0;  // < 0: error returned
    QByteArray data; // frame bytes when result >= 0
    QByteArray info; // up to 16 bytes of frame information
    unsigned int number = 0;
};

struct FakeSdk
{
    static QMutex &lock()
    {
        static QMutex m;
        return m;
    }
    // Frames waiting per AV index; an empty queue answers -20012.
    static QHash<int, QList<FakeFrame>> &video()
    {
        static QHash<int, QList<FakeFrame>> q;
        return q;
    }
    static QHash<int, QList<FakeFrame>> &audio()
    {
        static QHash<int, QList<FakeFrame>> q;
        return q;
    }
    static QHash<int, int> &videoCalls()
    {
        static QHash<int, int> c;
        return c;
    }

    static int recvFrame(int avIndex, char *buf, int bufSize, int *actual, int *expected,
                         char *info, int infoSize, int *actualInfo, unsigned int *number)
    {
        QMutexLocker l(&lock());
        ++videoCalls()[avIndex];
        QList<FakeFrame> &q = video()[avIndex];
        if (q.isEmpty())
            return StreamReceive::NoDataReady;
        const FakeFrame f = q.takeFirst();
        if (f.result < 0)
            return f.result;
        const int n = qMin(int(f.data.size()), bufSize);
        std::memcpy(buf, f.data.constData(), size_t(n));
        std::memcpy(info, f.info.constData(), size_t(qMin(int(f.info.size()), infoSize)));
        *actual = *expected = n;
        *actualInfo = infoSize;
        *number = f.number;
        return n;
    }
    static int checkAudio(int avIndex)
    {
        QMutexLocker l(&lock());
        return int(audio()[avIndex].size());
    }
    static int recvAudio(int avIndex, char *buf, int bufSize, char *info, int infoSize,
                         unsigned int *number)
    {
        QMutexLocker l(&lock());
        QList<FakeFrame> &q = audio()[avIndex];
        if (q.isEmpty())
            return StreamReceive::NoDataReady;
        const FakeFrame f = q.takeFirst();
        const int n = qMin(int(f.data.size()), bufSize);
        std::memcpy(buf, f.data.constData(), size_t(n));
        std::memcpy(info, f.info.constData(), size_t(qMin(int(f.info.size()), infoSize)));
        *number = f.number;
        return f.result < 0 ? f.result : n;
    }
    static void install() { StreamReceive::setApi({&recvFrame, &checkAudio, &recvAudio}); }
    static void reset()
    {
        QMutexLocker l(&lock());
        video().clear();
        audio().clear();
        videoCalls().clear();
    }
};

// A frame information record: codec id, flags, timestamp, reserved u32 at 8.
inline QByteArray frameInfo(uint16_t codec, uint8_t flags, uint32_t timestamp,
                            uint32_t reserved = 0)
{
    QByteArray info(16, '\0');
    auto *p = reinterpret_cast<uint8_t *>(info.data());
    p[0] = uint8_t(codec);
    p[1] = uint8_t(codec >> 8);
    p[2] = flags;
    for (int i = 0; i < 4; ++i) {
        p[8 + i] = uint8_t(reserved >> (8 * i));
        p[12 + i] = uint8_t(timestamp >> (8 * i));
    }
    return info;
}
