#include "FakeSdk.h"

#include <QDeadlineTimer>

namespace FakeSdk {

namespace {

void record(const QString &line)
{
    State &s = state();
    QMutexLocker l(&s.lock);
    s.calls.append(line);
    s.changed.wakeAll();
}

int initialize(unsigned short)
{
    record(QStringLiteral("init"));
    QMutexLocker l(&state().lock);
    state().initialized = true;
    return 0;
}

int getSessionId()
{
    QMutexLocker l(&state().lock);
    if (!state().initialized)
        return IOTC_ER_NOT_INITIALIZED;
    return state().nextSid++;
}

int connectByUid(const char *uid, int sid)
{
    const QString u = QString::fromLatin1(uid);
    record(QStringLiteral("connect %1 %2").arg(u).arg(sid));
    State &s = state();
    QMutexLocker l(&s.lock);
    if (s.silentUids.contains(u)) {
        while (!s.stoppedSids.contains(sid))
            s.changed.wait(&s.lock);
        return IOTC_ER_FAIL_CONNECT_SEARCH;
    }
    while (s.gatedUids.contains(u) && !s.released.contains(u))
        s.changed.wait(&s.lock);
    return sid;
}

int connectStop(int sid)
{
    record(QStringLiteral("connectStop %1").arg(sid));
    QMutexLocker l(&state().lock);
    state().stoppedSids.insert(sid);
    state().changed.wakeAll();
    return 0;
}

int sessionClose(int sid)
{
    record(QStringLiteral("sessionClose %1").arg(sid));
    QMutexLocker l(&state().lock);
    state().stoppedSids.insert(sid);
    state().changed.wakeAll();
    return 0;
}

int getFreeChannel(int)
{
    return 3;
}

int searchStart(int waitMs, int interval)
{
    record(QStringLiteral("searchStart %1 %2").arg(waitMs).arg(interval));
    QMutexLocker l(&state().lock);
    if (!state().initialized)
        return IOTC_ER_NOT_INITIALIZED;
    return state().searchStartResult;
}

int searchResult(void *entries, int maxEntries, int flags)
{
    record(QStringLiteral("searchResult %1 %2").arg(maxEntries).arg(flags));
    QMutexLocker l(&state().lock);
    const State &s = state();
    char *out = static_cast<char *>(entries);
    int n = 0;
    for (const QByteArray &e : s.searchEntries) {
        if (n >= maxEntries)
            break;
        memcpy(out + n * P2P_SEARCH_ENTRY_SIZE, e.constData(), P2P_SEARCH_ENTRY_SIZE);
        ++n;
    }
    return s.searchCount >= 0 ? s.searchCount : n;
}

int searchStop()
{
    record(QStringLiteral("searchStop"));
    return 0;
}

int avInit(int n)
{
    record(QStringLiteral("avInit %1").arg(n));
    return 0;
}

int clientStart(int sid, const char *account, const char *password, unsigned int timeoutSec,
                unsigned int *, unsigned char channel, int *resend)
{
    record(QStringLiteral("avStart %1 %2 %3 %4 %5 %6")
               .arg(sid)
               .arg(QString::fromLocal8Bit(account), QString::fromLocal8Bit(password))
               .arg(timeoutSec)
               .arg(channel)
               .arg(*resend));
    QMutexLocker l(&state().lock);
    if (QString::fromLocal8Bit(password) == state().badPassword)
        return AV_ER_WRONG_VIEWACCorPWD;
    return 100 + sid * 10 + channel;
}

int clientStop(int av)
{
    record(QStringLiteral("avStop %1").arg(av));
    QMutexLocker l(&state().lock);
    state().exitedAvs.insert(av);
    state().changed.wakeAll();
    return 0;
}

int clientExit(int sid, unsigned char channel)
{
    record(QStringLiteral("avExit %1 %2").arg(sid).arg(channel));
    return 0;
}

int cleanBuf(int av)
{
    record(QStringLiteral("cleanBuf %1").arg(av));
    return 0;
}

int cleanAudioBuf(int)
{
    return 0;
}

int sendIoCtrl(int av, unsigned int type, const char *data, int size)
{
    record(QStringLiteral("send %1 %2 %3")
               .arg(av)
               .arg(type, 4, 16, QLatin1Char('0'))
               .arg(QString::fromLatin1(QByteArray(data, size).toHex())));
    State &s = state();
    QMutexLocker l(&s.lock);
    if (s.blockingTypes.contains(type)) {
        while (s.blockForever || !s.exitedAvs.contains(av)) {
            if (!s.blockingTypes.contains(type))
                break;
            s.changed.wait(&s.lock);
        }
        return AV_ER_SENDIOCTRL_EXIT;
    }
    return s.sendResults.value(type, 0);
}

int recvIoCtrl(int av, unsigned int *type, char *buf, int bufSize, unsigned int)
{
    QMutexLocker l(&state().lock);
    auto &queue = state().replies[av];
    if (queue.isEmpty())
        return AV_ER_DATA_NOREADY;
    const auto reply = queue.takeFirst();
    *type = reply.first;
    const int n = qMin(int(reply.second.size()), bufSize);
    memcpy(buf, reply.second.constData(), size_t(n));
    return n;
}

int sendIoCtrlExit(int av)
{
    record(QStringLiteral("sendExit %1").arg(av));
    QMutexLocker l(&state().lock);
    state().exitedAvs.insert(av);
    state().changed.wakeAll();
    return 0;
}

int servStart(int sid, avAuthFn auth, unsigned int timeoutSec, unsigned int serviceType,
              unsigned char channel, int *)
{
    char password[] = "x";
    record(QStringLiteral("servStart %1 %2 %3 %4 auth=%5")
               .arg(sid)
               .arg(timeoutSec)
               .arg(serviceType)
               .arg(channel)
               .arg(auth("anyone", password)));
    return 50;
}

int servStop(int av)
{
    record(QStringLiteral("servStop %1").arg(av));
    return 0;
}

int servGetResendSize(int, unsigned int *size)
{
    *size = 0;
    return 0;
}

} // namespace

State &state()
{
    static State s;
    return s;
}

void reset()
{
    State &s = state();
    QMutexLocker l(&s.lock);
    s.calls.clear();
    s.initialized = false;
    s.nextSid = 0;
    s.silentUids.clear();
    s.gatedUids.clear();
    s.released.clear();
    s.stoppedSids.clear();
    s.exitedAvs.clear();
    s.sendResults.clear();
    s.blockingTypes.clear();
    s.blockForever = false;
    s.replies.clear();
    s.searchStartResult = 0;
    s.searchEntries.clear();
    s.searchCount = -1;
}

SdkApi api()
{
    SdkApi a;
    a.initialize = initialize;
    a.getSessionId = getSessionId;
    a.connectByUid = connectByUid;
    a.connectStop = connectStop;
    a.sessionClose = sessionClose;
    a.getFreeChannel = getFreeChannel;
    a.searchStart = searchStart;
    a.searchResult = searchResult;
    a.searchStop = searchStop;
    a.avInit = avInit;
    a.clientStart = clientStart;
    a.clientStop = clientStop;
    a.clientExit = clientExit;
    a.cleanBuf = cleanBuf;
    a.cleanAudioBuf = cleanAudioBuf;
    a.sendIoCtrl = sendIoCtrl;
    a.recvIoCtrl = recvIoCtrl;
    a.sendIoCtrlExit = sendIoCtrlExit;
    a.servStart = servStart;
    a.servStop = servStop;
    a.servGetResendSize = servGetResendSize;
    return a;
}

QStringList calls(const QString &prefix)
{
    QMutexLocker l(&state().lock);
    QStringList out;
    for (const QString &c : std::as_const(state().calls)) {
        if (c.startsWith(prefix))
            out.append(c);
    }
    return out;
}

void release(const QString &uid)
{
    QMutexLocker l(&state().lock);
    state().released.insert(uid);
    state().changed.wakeAll();
}

void queueReply(int av, unsigned type, const QByteArray &payload)
{
    QMutexLocker l(&state().lock);
    state().replies[av].append({type, payload});
}

void unblockAll()
{
    QMutexLocker l(&state().lock);
    state().blockingTypes.clear();
    state().blockForever = false;
    state().silentUids.clear();
    state().gatedUids.clear();
    state().changed.wakeAll();
}

} // namespace FakeSdk
