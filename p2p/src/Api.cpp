// The C surface: forwards to the process-wide ClientEngine.

#include <p2p/p2p.h>

#include "ClientEngine.h"
#include "PinStore.h"
#include "Tls.h"

#include <cstring>

#include <memory>
#include <mutex>

namespace {

std::mutex engineMutex;
std::shared_ptr<p2p::ClientEngine> engineInstance;
int avMaxChannels = -1; // set by avInitialize, kept across IOTC re-initialisation

std::shared_ptr<p2p::ClientEngine> engine()
{
    std::lock_guard<std::mutex> lock(engineMutex);
    return engineInstance;
}

int copyFingerprint(const std::string &fp, char *buf, int bufSize)
{
    if (!buf || bufSize < P2P_FINGERPRINT_SIZE)
        return IOTC_ER_INVALID_ARG;
    std::memcpy(buf, fp.c_str(), fp.size() + 1);
    return static_cast<int>(fp.size());
}

bool validUid(const char *uid)
{
    return uid && p2p::wire::isValidUid(uid);
}

} // namespace

#define WITH_ENGINE(notInit)                                                                       \
    auto e = engine();                                                                             \
    if (!e)                                                                                        \
        return notInit;

extern "C" {

int IOTC_Initialize2(unsigned short udpPort)
{
    (void)udpPort; // sockets use ephemeral ports
    std::lock_guard<std::mutex> lock(engineMutex);
    if (engineInstance)
        return IOTC_ER_NoERROR; // already running: initialising twice is harmless
    auto e = std::make_shared<p2p::ClientEngine>();
    if (!e->start())
        return IOTC_ER_FAIL_CREATE_THREAD;
    e->av().setMax(avMaxChannels);
    engineInstance = std::move(e);
    return IOTC_ER_NoERROR;
}

int IOTC_DeInitialize(void)
{
    std::shared_ptr<p2p::ClientEngine> e;
    {
        std::lock_guard<std::mutex> lock(engineMutex);
        e = std::move(engineInstance);
    }
    if (e)
        e->shutdown();
    return IOTC_ER_NoERROR;
}

int IOTC_Get_SessionID(void)
{
    WITH_ENGINE(IOTC_ER_NOT_INITIALIZED)
    return e->getSessionId();
}

int IOTC_Connect_ByUID_Parallel(const char *uid, int sessionId)
{
    WITH_ENGINE(IOTC_ER_NOT_INITIALIZED)
    return e->connect(uid, sessionId);
}

int IOTC_Connect_Stop_BySID(int sessionId)
{
    WITH_ENGINE(IOTC_ER_NOT_INITIALIZED)
    return e->connectStop(sessionId);
}

int IOTC_Session_Close(int sessionId)
{
    WITH_ENGINE(IOTC_ER_NOT_INITIALIZED)
    return e->sessionClose(sessionId);
}

int IOTC_Session_Get_Free_Channel(int sessionId)
{
    WITH_ENGINE(IOTC_ER_NOT_INITIALIZED)
    return e->freeChannel(sessionId);
}

int IOTC_Search_Device_Start(int waitMs, int sendIntervalMs)
{
    WITH_ENGINE(IOTC_ER_NOT_INITIALIZED)
    return e->searchStart(waitMs, sendIntervalMs);
}

int IOTC_Search_Device_Result(void *entries, int maxEntries, int flags)
{
    (void)flags;
    WITH_ENGINE(IOTC_ER_NOT_INITIALIZED)
    return e->searchResult(entries, maxEntries);
}

int IOTC_Search_Device_Stop(void)
{
    WITH_ENGINE(IOTC_ER_NOT_INITIALIZED)
    return e->searchStop();
}

int avInitialize(int maxChannels)
{
    if (maxChannels <= 0)
        return AV_ER_INVALID_ARG;
    std::lock_guard<std::mutex> lock(engineMutex);
    avMaxChannels = maxChannels;
    if (engineInstance)
        engineInstance->av().setMax(maxChannels);
    return maxChannels;
}

int avDeInitialize(void)
{
    std::shared_ptr<p2p::ClientEngine> e;
    {
        std::lock_guard<std::mutex> lock(engineMutex);
        avMaxChannels = -1;
        e = engineInstance;
    }
    if (e)
        e->av().shutdown();
    return 0;
}

int avClientStart2(int sessionId, const char *account, const char *password,
                   unsigned int timeoutSec, unsigned int *serviceType, unsigned char channelId,
                   int *resend)
{
    WITH_ENGINE(AV_ER_NOT_INITIALIZED)
    return e->av().clientStart(sessionId, account, password, timeoutSec, serviceType, channelId,
                               resend);
}

int avClientStop(int avIndex)
{
    WITH_ENGINE(AV_ER_NOT_INITIALIZED)
    return e->av().clientStop(avIndex);
}

int avClientExit(int sessionId, unsigned char channelId)
{
    WITH_ENGINE(AV_ER_NOT_INITIALIZED)
    return e->av().clientExit(sessionId, channelId);
}

int avClientCleanBuf(int avIndex)
{
    WITH_ENGINE(AV_ER_NOT_INITIALIZED)
    return e->av().cleanBuf(avIndex, true, true);
}

int avClientCleanAudioBuf(int avIndex)
{
    WITH_ENGINE(AV_ER_NOT_INITIALIZED)
    return e->av().cleanBuf(avIndex, false, true);
}

int avSendIOCtrl(int avIndex, unsigned int type, const char *data, int size)
{
    WITH_ENGINE(AV_ER_NOT_INITIALIZED)
    return e->av().sendIoCtrl(avIndex, type, data, size);
}

int avRecvIOCtrl(int avIndex, unsigned int *type, char *buf, int bufSize, unsigned int timeoutMs)
{
    WITH_ENGINE(AV_ER_NOT_INITIALIZED)
    return e->av().recvIoCtrl(avIndex, type, buf, bufSize, timeoutMs);
}

int avSendIOCtrlExit(int avIndex)
{
    WITH_ENGINE(AV_ER_NOT_INITIALIZED)
    return e->av().sendIoCtrlExit(avIndex);
}

int avServStart3(int sessionId, avAuthFn authenticate, unsigned int timeoutSec,
                 unsigned int serviceType, unsigned char channelId, int *resend)
{
    WITH_ENGINE(AV_ER_NOT_INITIALIZED)
    return e->av().servStart(sessionId, authenticate, timeoutSec, serviceType, channelId, resend);
}

int avServStop(int avIndex)
{
    WITH_ENGINE(AV_ER_NOT_INITIALIZED)
    return e->av().servStop(avIndex);
}

int avServGetResendSize(int avIndex, unsigned int *size)
{
    WITH_ENGINE(AV_ER_NOT_INITIALIZED)
    return e->av().servResendSize(avIndex, size);
}

int avSendAudioData(int avIndex, const char *data, int size, const void *frameInfo,
                    int frameInfoSize)
{
    WITH_ENGINE(AV_ER_NOT_INITIALIZED)
    return e->av().sendAudio(avIndex, data, size, frameInfo, frameInfoSize);
}

int avRecvFrameData2(int avIndex, char *buf, int bufSize, int *actualSize, int *expectedSize,
                     char *frameInfo, int frameInfoSize, int *actualFrameInfoSize,
                     unsigned int *frameNumber)
{
    WITH_ENGINE(AV_ER_NOT_INITIALIZED)
    return e->av().recvFrame(avIndex, {buf, bufSize, actualSize, expectedSize, frameInfo,
                                       frameInfoSize, actualFrameInfoSize, frameNumber});
}

int avSetFrameReadyCallback(int avIndex, avFrameReadyFn fn, void *context)
{
    if (avIndex < 0)
        return AV_ER_INVALID_ARG;
    WITH_ENGINE(AV_ER_NOT_INITIALIZED)
    e->frameReady().set(avIndex, fn, context);
    return 0;
}

int avSetIoCtrlReadyCallback(int avIndex, avFrameReadyFn fn, void *context)
{
    if (avIndex < 0)
        return AV_ER_INVALID_ARG;
    WITH_ENGINE(AV_ER_NOT_INITIALIZED)
    e->frameReady().set(avIndex, fn, context, p2p::FrameReady::IoMessages);
    return 0;
}

int avCheckAudioBuf(int avIndex)
{
    WITH_ENGINE(AV_ER_NOT_INITIALIZED)
    return e->av().checkAudio(avIndex);
}

int avRecvAudioData(int avIndex, char *buf, int bufSize, char *frameInfo, int frameInfoSize,
                    unsigned int *frameNumber)
{
    WITH_ENGINE(AV_ER_NOT_INITIALIZED)
    return e->av().recvAudio(
        avIndex, {buf, bufSize, nullptr, nullptr, frameInfo, frameInfoSize, nullptr, frameNumber});
}

int P2P_Set_Device_Pin(const char *uid, const char *fingerprint)
{
    if (!validUid(uid))
        return IOTC_ER_INVALID_ARG;
    if (!fingerprint || !*fingerprint) {
        p2p::PinStore::instance().forget(uid);
        return IOTC_ER_NoERROR;
    }
    if (!p2p::tls::isFingerprint(fingerprint))
        return IOTC_ER_INVALID_ARG;
    p2p::PinStore::instance().setPin(uid, fingerprint);
    return IOTC_ER_NoERROR;
}

int P2P_Get_Device_Pin(const char *uid, char *buf, int bufSize)
{
    if (!validUid(uid))
        return IOTC_ER_INVALID_ARG;
    return copyFingerprint(p2p::PinStore::instance().pin(uid), buf, bufSize);
}

int P2P_Get_Key_Mismatch(const char *uid, char *buf, int bufSize)
{
    if (!validUid(uid))
        return IOTC_ER_INVALID_ARG;
    return copyFingerprint(p2p::PinStore::instance().mismatch(uid), buf, bufSize);
}

int P2P_Session_Get_Fingerprint(int sessionId, char *buf, int bufSize)
{
    WITH_ENGINE(IOTC_ER_NOT_INITIALIZED)
    std::string fp;
    const int r = e->sessionFingerprint(sessionId, fp);
    return r < 0 ? r : copyFingerprint(fp, buf, bufSize);
}

} // extern "C"
