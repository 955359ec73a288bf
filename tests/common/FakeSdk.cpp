#include "FakeSdk.h"

#include <QRegularExpression>
#include <QVariant>

#include <condition_variable>
#include <cstring>
#include <mutex>

namespace FakeSdk {

namespace {

// Standard primitives rather than Qt's, so that ThreadSanitizer sees the
// waits release the lock.
std::mutex lock;
std::condition_variable changed; // the script or the recorded calls changed

// Records a call as its words joined by spaces; with the lock held.
template <typename... Words> void note(const Words &...words)
{
    state().calls.append(QStringList{QVariant(words).toString()...}.join(QLatin1Char(' ')));
    changed.notify_all();
}

template <typename... Words> int record(const Words &...words)
{
    std::unique_lock<std::mutex> l(lock);
    note(words...);
    return 0;
}

// Records a call and puts n into one of the sets that held calls wait for.
int mark(const char *name, QSet<int> State::*set, int n)
{
    std::unique_lock<std::mutex> l(lock);
    (state().*set).insert(n);
    note(name, n);
    return 0;
}

int connectByUid(const char *uid, int sid)
{
    const QString u = QString::fromLatin1(uid);
    std::unique_lock<std::mutex> l(lock);
    note("connect", u, sid);
    State &s = state();
    if (s.silentUids.contains(u)) {
        while (!s.stoppedSids.contains(sid))
            changed.wait(l);
        return IOTC_ER_FAIL_CONNECT_SEARCH;
    }
    while (s.gatedUids.contains(u))
        changed.wait(l);
    return s.refusedUids.contains(u) ? IOTC_ER_DEVICE_NOT_LISTENING : sid;
}

int searchResult(void *entries, int maxEntries, int flags)
{
    std::unique_lock<std::mutex> l(lock);
    note("searchResult", maxEntries, flags);
    const QList<QByteArray> &found = state().searchEntries;
    int n = 0;
    for (; n < found.size() && n < maxEntries; ++n)
        std::memcpy(static_cast<char *>(entries) + n * P2P_SEARCH_ENTRY_SIZE, found[n].constData(),
                    P2P_SEARCH_ENTRY_SIZE);
    return n;
}

int clientStart(int sid, const char *account, const char *password, unsigned int timeoutSec,
                unsigned int *, unsigned char channel, int *resend)
{
    record("avStart", sid, account, password, timeoutSec, channel, *resend);
    std::unique_lock<std::mutex> l(lock);
    return state().avStartResults.value(channel, 100 + sid * 10 + channel);
}

int sendIoCtrl(int av, unsigned int type, const char *data, int size)
{
    std::unique_lock<std::mutex> l(lock);
    note("send", av, QStringLiteral("%1").arg(type, 4, 16, QLatin1Char('0')),
         QString::fromLatin1(QByteArray(data, size).toHex()));
    State &s = state();
    if (!s.blockingTypes.contains(type))
        return s.sendResults.value(type, 0);
    while ((s.blockForever || !s.exitedAvs.contains(av)) && s.blockingTypes.contains(type))
        changed.wait(l);
    return AV_ER_SENDIOCTRL_EXIT;
}

int servStart(int sid, avAuthFn auth, unsigned int timeoutSec, unsigned int serviceType,
              unsigned char channel, int *)
{
    char password[] = "x";
    record("servStart", sid, timeoutSec, serviceType, channel,
           "auth=" + QString::number(auth("anyone", password)));
    return 50;
}

// Takes the next queued frame (or IO control reply) into the caller's buffers.
int takeFrame(QList<Frame> &queue, char *buf, int bufSize, char *info, int infoSize,
              unsigned int *number, int *size)
{
    if (queue.isEmpty())
        return AV_ER_DATA_NOREADY;
    const Frame f = queue.takeFirst();
    *size = qMin(int(f.data.size()), bufSize);
    std::memcpy(buf, f.data.constData(), size_t(*size));
    if (info)
        std::memcpy(info, f.info.constData(), size_t(qMin(int(f.info.size()), infoSize)));
    *number = f.number;
    return f.result < 0 ? f.result : *size;
}

int recvFrame(int av, char *buf, int bufSize, int *actual, int *expected, char *info, int infoSize,
              int *actualInfo, unsigned int *number)
{
    std::unique_lock<std::mutex> l(lock);
    ++state().videoCalls[av];
    QList<Frame> &queue = state().video[av];
    if (!queue.isEmpty() && queue.first().result < 0)
        return queue.takeFirst().result; // an error delivers nothing
    const int r = takeFrame(queue, buf, bufSize, info, infoSize, number, actual);
    if (r >= 0) {
        *expected = *actual;
        *actualInfo = infoSize;
    }
    return r;
}

// Frame-ready callbacks by AV index, under a lock of their own (as in the
// library: removing one waits for a call in progress).
std::recursive_mutex readyLock;
QHash<int, QPair<avFrameReadyFn, void *>> readyCallbacks;

int setFrameReady(int av, avFrameReadyFn fn, void *context)
{
    std::lock_guard<std::recursive_mutex> l(readyLock);
    if (fn)
        readyCallbacks.insert(av, {fn, context});
    else
        readyCallbacks.remove(av);
    return 0;
}

int recvIoCtrl(int av, unsigned int *type, char *buf, int bufSize, unsigned int)
{
    std::unique_lock<std::mutex> l(lock);
    int size = 0;
    return takeFrame(state().replies[av], buf, bufSize, nullptr, 0, type, &size);
}

int recvAudio(int av, char *buf, int bufSize, char *info, int infoSize, unsigned int *number)
{
    std::unique_lock<std::mutex> l(lock);
    int size = 0;
    return takeFrame(state().audio[av], buf, bufSize, info, infoSize, number, &size);
}

SdkApi fakeApi()
{
    SdkApi a;
    a.initialize = [](unsigned short) {
        std::unique_lock<std::mutex> l(lock);
        state().initialized = true;
        note("init");
        return 0;
    };
    a.getSessionId = []() {
        std::unique_lock<std::mutex> l(lock);
        return state().initialized ? state().nextSid++ : IOTC_ER_NOT_INITIALIZED;
    };
    a.connectByUid = connectByUid;
    a.connectStop = [](int sid) { return mark("connectStop", &State::stoppedSids, sid); };
    a.sessionClose = [](int sid) { return mark("sessionClose", &State::stoppedSids, sid); };
    a.getFreeChannel = [](int) { return 3; };
    a.searchStart = [](int waitMs, int interval) {
        std::unique_lock<std::mutex> l(lock);
        note("searchStart", waitMs, interval);
        return state().initialized ? state().searchStartResult : IOTC_ER_NOT_INITIALIZED;
    };
    a.searchResult = searchResult;
    a.searchStop = []() { return record("searchStop"); };
    a.avInit = [](int n) { return record("avInit", n); };
    a.clientStart = clientStart;
    a.clientStop = [](int av) { return mark("avStop", &State::exitedAvs, av); };
    a.clientExit = [](int sid, unsigned char channel) { return record("avExit", sid, channel); };
    a.cleanBuf = [](int av) { return record("cleanBuf", av); };
    a.cleanAudioBuf = [](int) { return 0; };
    a.sendIoCtrl = sendIoCtrl;
    a.recvIoCtrl = recvIoCtrl;
    a.sendIoCtrlExit = [](int av) { return mark("sendExit", &State::exitedAvs, av); };
    a.servStart = servStart;
    a.servStop = [](int av) { return record("servStop", av); };
    a.servGetResendSize = [](int, unsigned int *size) { return int(*size = 0); };
    a.recvFrame = recvFrame;
    a.setFrameReady = setFrameReady;
    a.checkAudio = [](int av) {
        std::unique_lock<std::mutex> l(lock);
        return int(state().audio[av].size());
    };
    a.recvAudio = recvAudio;
    a.sendAudio = [](int av, const char *data, int size, const void *info, int infoSize) {
        std::unique_lock<std::mutex> l(lock);
        state().sentAudio[av].append(
            {0, QByteArray(data, size), QByteArray(static_cast<const char *>(info), infoSize), 0});
        return 0;
    };
    return a;
}

} // namespace

State &state()
{
    static State s;
    return s;
}

void install()
{
    static const bool installed = (setSdkApi(fakeApi()), true);
    Q_UNUSED(installed);
}

void reset()
{
    std::unique_lock<std::mutex> l(lock);
    state() = State();
}

QStringList calls(const QString &prefix)
{
    std::unique_lock<std::mutex> l(lock);
    return state().calls.filter(QRegularExpression('^' + QRegularExpression::escape(prefix)));
}

bool notify(int av, int kind)
{
    std::lock_guard<std::recursive_mutex> l(readyLock);
    const auto it = readyCallbacks.constFind(av);
    if (it == readyCallbacks.constEnd())
        return false;
    const auto callback = *it;
    callback.first(av, kind, callback.second);
    return true;
}

void pushVideo(int av, const Frame &frame)
{
    {
        std::unique_lock<std::mutex> l(lock);
        state().video[av].append(frame);
    }
    notify(av, P2P_READY_VIDEO);
}

void pushAudio(int av, const Frame &frame)
{
    {
        std::unique_lock<std::mutex> l(lock);
        state().audio[av].append(frame);
    }
    notify(av, P2P_READY_AUDIO);
}

bool hasFrameReady(int av)
{
    std::lock_guard<std::recursive_mutex> l(readyLock);
    return readyCallbacks.contains(av);
}

int videoCalls(int av)
{
    std::unique_lock<std::mutex> l(lock);
    return state().videoCalls.value(av);
}

void release(const QString &uid)
{
    std::unique_lock<std::mutex> l(lock);
    state().gatedUids.remove(uid);
    changed.notify_all();
}

void queueReply(int av, unsigned type, const QByteArray &payload)
{
    std::unique_lock<std::mutex> l(lock);
    state().replies[av].append({0, payload, {}, type});
}

void queueReplyFailure(int av, int code)
{
    std::unique_lock<std::mutex> l(lock);
    state().replies[av].append({code, {}, {}, 0});
}

void unblockAll()
{
    std::unique_lock<std::mutex> l(lock);
    State &s = state();
    s.blockingTypes.clear();
    s.blockForever = false;
    s.silentUids.clear();
    s.gatedUids.clear();
    changed.notify_all();
}

} // namespace FakeSdk
