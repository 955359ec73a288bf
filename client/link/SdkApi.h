#pragma once

#include <p2p/p2p.h>

// The P2P calls the client makes, as a table of function pointers: the
// session, AV channel and IO control calls of the link layer and the frame
// receive and talk send calls of the media pipeline. The default table calls the p2p
// library; tests install their own with setSdkApi().
struct SdkApi
{
    int (*initialize)(unsigned short udpPort) = IOTC_Initialize2;
    int (*getSessionId)() = IOTC_Get_SessionID;
    int (*connectByUid)(const char *uid, int sessionId) = IOTC_Connect_ByUID_Parallel;
    // Device key pins: set (or forget with "") before a connect, read after one.
    int (*setDevicePin)(const char *uid, const char *fingerprint) = P2P_Set_Device_Pin;
    int (*keyMismatch)(const char *uid, char *buf, int bufSize) = P2P_Get_Key_Mismatch;
    int (*sessionFingerprint)(int sessionId, char *buf, int bufSize) = P2P_Session_Get_Fingerprint;
    int (*connectStop)(int sessionId) = IOTC_Connect_Stop_BySID;
    int (*sessionClose)(int sessionId) = IOTC_Session_Close;
    int (*getFreeChannel)(int sessionId) = IOTC_Session_Get_Free_Channel;
    int (*searchStart)(int waitMs, int sendIntervalMs) = IOTC_Search_Device_Start;
    int (*searchResult)(void *entries, int maxEntries, int flags) = IOTC_Search_Device_Result;
    int (*searchStop)() = IOTC_Search_Device_Stop;
    int (*avInit)(int maxChannels) = avInitialize;
    int (*clientStart)(int sessionId, const char *account, const char *password,
                       unsigned int timeoutSec, unsigned int *serviceType, unsigned char channelId,
                       int *resend) = avClientStart2;
    int (*clientStop)(int avIndex) = avClientStop;
    int (*clientExit)(int sessionId, unsigned char channelId) = avClientExit;
    int (*cleanBuf)(int avIndex) = avClientCleanBuf;
    int (*cleanAudioBuf)(int avIndex) = avClientCleanAudioBuf;
    int (*sendIoCtrl)(int avIndex, unsigned int type, const char *data, int size) = avSendIOCtrl;
    int (*recvIoCtrl)(int avIndex, unsigned int *type, char *buf, int bufSize,
                      unsigned int timeoutMs) = avRecvIOCtrl;
    int (*sendIoCtrlExit)(int avIndex) = avSendIOCtrlExit;
    int (*servStart)(int sessionId, avAuthFn authenticate, unsigned int timeoutSec,
                     unsigned int serviceType, unsigned char channelId, int *resend) = avServStart3;
    int (*servStop)(int avIndex) = avServStop;
    int (*servGetResendSize)(int avIndex, unsigned int *size) = avServGetResendSize;
    // Talk audio to the device (the media pipeline's microphone sender).
    int (*sendAudio)(int avIndex, const char *data, int size, const void *frameInfo,
                     int frameInfoSize) = avSendAudioData;

    // Frame reception (the media pipeline's receive steps).
    int (*recvFrame)(int avIndex, char *buf, int bufSize, int *actualSize, int *expectedSize,
                     char *frameInfo, int frameInfoSize, int *actualFrameInfoSize,
                     unsigned int *frameNumber) = avRecvFrameData2;
    int (*setFrameReady)(int avIndex, avFrameReadyFn fn, void *context) = avSetFrameReadyCallback;
    int (*setIoCtrlReady)(int avIndex, avFrameReadyFn fn, void *context) = avSetIoCtrlReadyCallback;
    int (*checkAudio)(int avIndex) = avCheckAudioBuf;
    int (*recvAudio)(int avIndex, char *buf, int bufSize, char *frameInfo, int frameInfoSize,
                     unsigned int *frameNumber) = avRecvAudioData;
};

// Any thread: the SDK table of the process (the p2p library unless replaced).
const SdkApi &sdkApi();

// GUI thread, before the first link task or receive step starts: replaces the
// table for the whole process. A table once installed stays valid until the
// process ends, so a call made through a replaced table is still safe.
void setSdkApi(const SdkApi &api);
