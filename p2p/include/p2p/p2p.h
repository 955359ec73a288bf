/*
 * Orvane P2P library: the client-side call surface.
 *
 * Sessions by device UID, AV channels inside a session, IO control messages,
 * video and audio frames, talk and LAN search. Every function returns an int:
 * >= 0 is success, < 0 an error code (P2P_ER_* / AV_ER_* below).
 *
 * All functions may be called from several threads at once. Blocking calls
 * honour their time-outs, and a stop, exit or close made from another thread
 * makes a blocked call return at once.
 */
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

/* Session layer error codes. */
#define IOTC_ER_NoERROR 0
#define IOTC_ER_SERVER_NOT_RESPONSE -1
#define IOTC_ER_ALREADY_INITIALIZED -3
#define IOTC_ER_FAIL_CREATE_THREAD -5
#define IOTC_ER_FAIL_CREATE_SOCKET -6
#define IOTC_ER_FAIL_SOCKET_BIND -8
#define IOTC_ER_NOT_INITIALIZED -12
#define IOTC_ER_TIMEOUT -13
#define IOTC_ER_INVALID_SID -14
#define IOTC_ER_UNKNOWN_DEVICE -15
#define IOTC_ER_EXCEED_MAX_SESSION -18
#define IOTC_ER_CAN_NOT_FIND_DEVICE -19
#define IOTC_ER_SESSION_CLOSE_BY_REMOTE -22
#define IOTC_ER_REMOTE_TIMEOUT_DISCONNECT -23
#define IOTC_ER_DEVICE_NOT_LISTENING -24
#define IOTC_ER_CH_NOT_ON -26
#define IOTC_ER_FAIL_CONNECT_SEARCH -27
#define IOTC_ER_EXCEED_MAX_CHANNEL -31
#define IOTC_ER_INVALID_ARG -46
#define IOTC_ER_ALREADY_PROCESSING -57
#define IOTC_ER_NOT_ENOUGH_MEMORY -58
#define IOTC_ER_DEVICE_OFFLINE -90
/* The device's TLS key differs from the key pinned for its UID (see the pins below). */
#define IOTC_ER_DEVICE_KEY_MISMATCH -100
/* The TLS handshake with the device failed (not TLS 1.3, bad certificate, ...). */
#define IOTC_ER_SECURE_HANDSHAKE_FAILED -101

/* AV layer error codes. */
#define AV_ER_INVALID_ARG -20000
#define AV_ER_BUFPARA_MAXSIZE_INSUFF -20001
#define AV_ER_EXCEED_MAX_CHANNEL -20002
#define AV_ER_MEM_INSUFF -20003
#define AV_ER_FAIL_CREATE_THREAD -20004
#define AV_ER_EXCEED_MAX_ALARM -20005
#define AV_ER_EXCEED_MAX_SIZE -20006
#define AV_ER_SERV_NO_RESPONSE -20007
#define AV_ER_CLIENT_NO_AVLOGIN -20008
#define AV_ER_WRONG_VIEWACCorPWD -20009
#define AV_ER_INVALID_SID -20010
#define AV_ER_TIMEOUT -20011
#define AV_ER_DATA_NOREADY -20012
#define AV_ER_INCOMPLETE_FRAME -20013
#define AV_ER_LOSED_THIS_FRAME -20014
#define AV_ER_SESSION_CLOSE_BY_REMOTE -20015
#define AV_ER_REMOTE_TIMEOUT_DISCONNECT -20016
#define AV_ER_SERVER_EXIT -20017
#define AV_ER_CLIENT_EXIT -20018
#define AV_ER_NOT_INITIALIZED -20019
#define AV_ER_CLIENT_NOT_SUPPORT -20020
#define AV_ER_SENDIOCTRL_ALREADY_CALLED -20021
#define AV_ER_SENDIOCTRL_EXIT -20022
#define AV_ER_NO_PERMISSION -20023
#define AV_ER_WRONG_ACCPWD_LENGTH -20024
#define AV_ER_IOTC_SESSION_CLOSED -20025
#define AV_ER_IOTC_DEINITIALIZED -20026
#define AV_ER_IOTC_CHANNEL_IN_USED -20027
#define AV_ER_WAIT_KEYFRAME -20028
#define AV_ER_CLEANBUF_ALREADY_CALLED -20029
#define AV_ER_SOCKET_QUEUE_FULL -20030
#define AV_ER_ALREADY_INITIALIZED -20031
#define AV_ER_DASA_CLEAN_BUFFER -20032

/* Size of one LAN search result entry and the offsets of its fields. */
#define P2P_SEARCH_ENTRY_SIZE 208
#define P2P_SEARCH_UID_OFFSET 0
#define P2P_SEARCH_IP_OFFSET 21
#define P2P_SEARCH_PORT_OFFSET 68
#define P2P_SEARCH_NAME_OFFSET 70

/* Size of the frame information record that travels with every frame. */
#define P2P_FRAME_INFO_SIZE 16

/* Environment variables: "UID@host:port;UID@host:port" and the UDP discovery port. */
#define P2P_ENV_PEERS "ORVANE_P2P_PEERS"
#define P2P_ENV_DISCOVERY_PORT "ORVANE_P2P_DISCOVERY_PORT"
#define P2P_DEFAULT_DISCOVERY_PORT 32761

/* Connect time-out of IOTC_Connect_ByUID_Parallel in milliseconds (environment, optional). */
#define P2P_ENV_CONNECT_TIMEOUT "ORVANE_P2P_CONNECT_TIMEOUT_MS"
#define P2P_DEFAULT_CONNECT_TIMEOUT_MS 10000

/* Largest frames and IO control payloads carried. */
#define P2P_MAX_VIDEO_FRAME_SIZE 2304000
#define P2P_MAX_AUDIO_FRAME_SIZE 1024
#define P2P_MAX_IOCTRL_SIZE 16384

/* Size of the password buffer handed to an avAuthFn. */
#define P2P_AUTH_PASSWORD_SIZE 256

int IOTC_Initialize2(unsigned short udpPort);
int IOTC_Get_SessionID(void);
int IOTC_Connect_ByUID_Parallel(const char *uid, int sessionId);
int IOTC_Connect_Stop_BySID(int sessionId);
int IOTC_Session_Close(int sessionId);
int IOTC_Session_Get_Free_Channel(int sessionId);
int IOTC_Search_Device_Start(int waitMs, int sendIntervalMs);
int IOTC_Search_Device_Result(void *entries, int maxEntries, int flags);
int IOTC_Search_Device_Stop(void);

int avInitialize(int maxChannels);
int avClientStart2(int sessionId, const char *account, const char *password,
                   unsigned int timeoutSec, unsigned int *serviceType, unsigned char channelId,
                   int *resend);
int avClientStop(int avIndex);
int avClientExit(int sessionId, unsigned char channelId);
int avClientCleanBuf(int avIndex);
int avClientCleanAudioBuf(int avIndex);
int avSendIOCtrl(int avIndex, unsigned int type, const char *data, int size);
int avRecvIOCtrl(int avIndex, unsigned int *type, char *buf, int bufSize, unsigned int timeoutMs);
int avSendIOCtrlExit(int avIndex);

/*
 * Authentication callback of avServStart3, called on the thread that called
 * avServStart3 when a peer logs in. account: the account the peer logged in
 * with; password: a zeroed buffer of P2P_AUTH_PASSWORD_SIZE bytes. Return > 0
 * to accept the account, writing its password (NUL-terminated) into the
 * buffer; the peer must then prove that it knows this password. A callback
 * that accepts without writing a password accepts any password. A null
 * callback accepts every peer.
 */
typedef int (*avAuthFn)(const char *account, char *password);
int avServStart3(int sessionId, avAuthFn authenticate, unsigned int timeoutSec,
                 unsigned int serviceType, unsigned char channelId, int *resend);
int avServStop(int avIndex);
int avServGetResendSize(int avIndex, unsigned int *size);
int avSendAudioData(int avIndex, const char *data, int size, const void *frameInfo,
                    int frameInfoSize);

int avRecvFrameData2(int avIndex, char *buf, int bufSize, int *actualSize, int *expectedSize,
                     char *frameInfo, int frameInfoSize, int *actualFrameInfoSize,
                     unsigned int *frameNumber);

/*
 * Frame-ready notification, so that a reader need not poll: fn(avIndex,
 * kind, context) is called after a video frame (kind P2P_READY_VIDEO) or an
 * audio frame (P2P_READY_AUDIO) was queued on avIndex, and once when the
 * channel was closed by the peer or its session was lost (P2P_READY_CLOSED).
 * Notifications of one io event are coalesced: one call may stand for
 * several frames, so the reader takes frames until AV_ER_DATA_NOREADY.
 *
 * fn runs on the library's io thread without any of the library's locks
 * held: it may call the receive functions, but should return quickly (hand
 * the work to a thread of its own). A NULL fn removes the callback; once the
 * call returns, the removed callback is neither running (unless removed from
 * inside itself) nor called again. A callback stays registered for its AV
 * index until it is removed or the library is deinitialised: remove it when
 * the channel is stopped, before the index can be handed out again.
 * Returns 0, AV_ER_INVALID_ARG or AV_ER_NOT_INITIALIZED.
 */
#define P2P_READY_VIDEO 0
#define P2P_READY_AUDIO 1
#define P2P_READY_CLOSED 2
typedef void (*avFrameReadyFn)(int avIndex, int kind, void *context);
int avSetFrameReadyCallback(int avIndex, avFrameReadyFn fn, void *context);

/*
 * The same for IO control messages, so that a reader of replies need not
 * poll avRecvIOCtrl: fn(avIndex, P2P_READY_IOCTRL, context) after a message
 * was queued on avIndex, fn(avIndex, P2P_READY_CLOSED, context) once when
 * the channel was closed. A registration of its own, beside the frames'
 * (each AV index may have one of each); the rules above hold for it.
 */
#define P2P_READY_IOCTRL 3
int avSetIoCtrlReadyCallback(int avIndex, avFrameReadyFn fn, void *context);

int avCheckAudioBuf(int avIndex);
int avRecvAudioData(int avIndex, char *buf, int bufSize, char *frameInfo, int frameInfoSize,
                    unsigned int *frameNumber);

/*
 * Device key pins (trust on first use). Every session runs inside TLS 1.3 and
 * the device proves a long-term key; its fingerprint is the SHA-256 of the
 * certificate's SubjectPublicKeyInfo as 64 lowercase hex digits. A connect to
 * a UID without a pin pins the key it met; a connect that meets another key
 * fails with IOTC_ER_DEVICE_KEY_MISMATCH. Pins live for the process: the
 * application loads the ones it keeps and saves new ones. Any thread, before
 * or after IOTC_Initialize2.
 *
 * P2P_Set_Device_Pin: fingerprint NULL or "" forgets the UID's pin.
 * P2P_Get_Device_Pin / P2P_Get_Key_Mismatch / P2P_Session_Get_Fingerprint
 * write the fingerprint (65 bytes with its NUL) and return its length, 0 when
 * there is none (no pin; no refused key since the pin was last set; a session
 * not connected).
 */
#define P2P_FINGERPRINT_SIZE 65
int P2P_Set_Device_Pin(const char *uid, const char *fingerprint);
int P2P_Get_Device_Pin(const char *uid, char *buf, int bufSize);
int P2P_Get_Key_Mismatch(const char *uid, char *buf, int bufSize);
int P2P_Session_Get_Fingerprint(int sessionId, char *buf, int bufSize);

/* Library shutdown (tests, exit): closes every session and stops every thread. */
int IOTC_DeInitialize(void);
int avDeInitialize(void);

#ifdef __cplusplus
}
#endif
