#pragma once

#include "link/SdkApi.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QtEndian>
#include <QSet>
#include <QStringList>

// An in-process stand-in for the P2P library, shared by the link and media
// tests. Session, search and IO control calls are recorded as text lines
// ("connect UID-1 0", "send 100 01ff 0100000000000000") and answered from a
// script; some can be held until the test, or a stop, exit or close call,
// lets them go. Frame and audio receive calls answer from queues per AV index
// (AV_ER_DATA_NOREADY when empty). One instance per test process.
namespace FakeSdk {

// A queued frame: a negative result is returned as the call's error;
// otherwise the data, up to 16 bytes of frame information and the number.
struct Frame
{
    int result = 0;
    QByteArray data;
    QByteArray info;
    unsigned int number = 0;
};

// The script. Tests set it up before the calls it answers are made.
struct State
{
    QStringList calls;
    bool initialized = false;
    int nextSid = 0;
    QSet<QString> silentUids;       // connect blocks until its session is stopped or closed
    QSet<QString> gatedUids;        // connect blocks until released
    QSet<QString> refusedUids;      // connect fails at once (device not listening)
    QHash<int, int> avStartResults; // by channel; default: an AV index
    QSet<int> stoppedSids;
    QSet<int> exitedAvs;
    QHash<unsigned, int> sendResults; // by message type; default 0
    QSet<unsigned> blockingTypes;     // sends of these block until their AV index exits
    bool blockForever = false;        // blocking sends ignore exits until unblocked
    QHash<int, QList<Frame>> replies; // IO control replies by AV index; number = type
    int searchStartResult = 0;
    QList<QByteArray> searchEntries;
    QHash<int, QList<Frame>> video; // by AV index
    QHash<int, QList<Frame>> audio;
    QHash<int, int> videoCalls;         // receive calls per AV index
    QHash<int, QList<Frame>> sentAudio; // talk packets by AV index (data and header)
};

// Makes the fake the process's SDK (setSdkApi); once per process.
void install();
// Back to an empty script.
void reset();
State &state();

// Lines recorded so far that start with prefix.
QStringList calls(const QString &prefix = QString());
void release(const QString &uid);
void queueReply(int av, unsigned type, const QByteArray &payload);
// The next IO control receive on av fails with code.
void queueReplyFailure(int av, int code);
// Lets every held call go.
void unblockAll();

inline QHash<int, QList<Frame>> &video()
{
    return state().video;
}
inline QHash<int, QList<Frame>> &audio()
{
    return state().audio;
}
// Receive calls made on an AV index so far (read under the fake's lock).
int videoCalls(int av);

// Frame-ready callbacks (avSetFrameReadyCallback): calls av's callback with
// kind as the library's io thread would; false when none is registered.
bool notify(int av, int kind);
bool hasFrameReady(int av);
// Queues a frame and notifies, as a frame arriving from the device.
void pushVideo(int av, const Frame &frame);
void pushAudio(int av, const Frame &frame);

} // namespace FakeSdk

// A frame information record: codec id, flags, reserved u32 at 8, timestamp.
inline QByteArray frameInfo(uint16_t codec, uint8_t flags, uint32_t timestamp,
                            uint32_t reserved = 0)
{
    QByteArray info(16, '\0');
    qToLittleEndian(codec, info.data());
    info[2] = char(flags);
    qToLittleEndian(reserved, info.data() + 8);
    qToLittleEndian(timestamp, info.data() + 12);
    return info;
}
