#include "link/ErrorText.h"

#include <p2p/p2p.h>

#include <QCoreApplication>

namespace {

struct ErrorEntry
{
    int code;
    const char *text;
};

// Texts are exact, inner and trailing spaces included. Codes the p2p header does
// not name are given by number.
constexpr ErrorEntry errorTable[] = {
    {IOTC_ER_SERVER_NOT_RESPONSE, QT_TRANSLATE_NOOP("QObject", "No response")},
    {-2, QT_TRANSLATE_NOOP("QObject", "Cannot resolve domain name")},
    {IOTC_ER_ALREADY_INITIALIZED, QT_TRANSLATE_NOOP("QObject", "Module already initialized")},
    {-4, QT_TRANSLATE_NOOP("QObject", "Fails to create Mutexes")},
    {IOTC_ER_FAIL_CREATE_THREAD, QT_TRANSLATE_NOOP("QObject", "Fails to create threads")},
    {IOTC_ER_FAIL_CREATE_SOCKET, QT_TRANSLATE_NOOP("QObject", "Fails to create sockets")},
    {-7, QT_TRANSLATE_NOOP("QObject", "Fails to set up socket options")},
    {IOTC_ER_FAIL_SOCKET_BIND, QT_TRANSLATE_NOOP("QObject", "Fails to bind sockets")},
    {-10, QT_TRANSLATE_NOOP("QObject", "UID is not licensed or expired")},
    {-11, QT_TRANSLATE_NOOP("QObject", "Already login")},
    {IOTC_ER_NOT_INITIALIZED, QT_TRANSLATE_NOOP("QObject", "Module is not initialized")},
    {IOTC_ER_TIMEOUT, QT_TRANSLATE_NOOP("QObject", "Time out")},
    {IOTC_ER_INVALID_SID, QT_TRANSLATE_NOOP("QObject", "SID invalid")},
    {IOTC_ER_UNKNOWN_DEVICE, QT_TRANSLATE_NOOP("QObject", "Unknown device")},
    {-16, QT_TRANSLATE_NOOP("QObject", "Fails to get the local IP")},
    {-17, QT_TRANSLATE_NOOP("QObject", "Already start")},
    {IOTC_ER_EXCEED_MAX_SESSION, QT_TRANSLATE_NOOP("QObject", "Sessions has reached maximum")},
    {IOTC_ER_CAN_NOT_FIND_DEVICE,
     QT_TRANSLATE_NOOP("QObject", "Cannot locate the specified device")},
    {IOTC_ER_SESSION_CLOSE_BY_REMOTE, QT_TRANSLATE_NOOP("QObject", "Session already closes")},
    {IOTC_ER_REMOTE_TIMEOUT_DISCONNECT, QT_TRANSLATE_NOOP("QObject", "Session timeout")},
    {IOTC_ER_DEVICE_NOT_LISTENING, QT_TRANSLATE_NOOP("QObject", "Fails to connect to a device")},
    {IOTC_ER_CH_NOT_ON, QT_TRANSLATE_NOOP("QObject", "Channel is not turned on")},
    {IOTC_ER_FAIL_CONNECT_SEARCH, QT_TRANSLATE_NOOP("QObject", "Client stops connecting")},
    {-28, QT_TRANSLATE_NOOP("QObject", "Too few masters are specified")},
    {-29, QT_TRANSLATE_NOOP("QObject", "A client fails to pass certification")},
    {IOTC_ER_EXCEED_MAX_CHANNEL,
     QT_TRANSLATE_NOOP("QObject", "The channels for a session has reached maximum")},
    {-32, QT_TRANSLATE_NOOP("QObject", "Cannot connect")},
    {-33, QT_TRANSLATE_NOOP("QObject", "Cannot connect")},
    {-34, QT_TRANSLATE_NOOP("QObject", "Client does not support mode")},
    {-35, QT_TRANSLATE_NOOP("QObject", "Client does not support mode")},
    {-36, QT_TRANSLATE_NOOP("QObject", "A device does not support this mode")},
    {-37, QT_TRANSLATE_NOOP("QObject", "A device does not support this mode")},
    {-39, QT_TRANSLATE_NOOP("QObject", "A device stops for this connections")},
    {-40, QT_TRANSLATE_NOOP("QObject", "No permission")},
    {-41, QT_TRANSLATE_NOOP("QObject", "Network unreachable")},
    {-42, QT_TRANSLATE_NOOP("QObject", "Client fails to connect device")},
    {-43, QT_TRANSLATE_NOOP("QObject", "Client fails to connect device")},
    {-44, QT_TRANSLATE_NOOP("QObject", "Device login or client connect failed")},
    {-45, QT_TRANSLATE_NOOP("QObject", "Duplicated loggin and may unconnectable")},
    {IOTC_ER_INVALID_ARG, QT_TRANSLATE_NOOP("QObject", "The arguments is invalid")},
    {-47, QT_TRANSLATE_NOOP("QObject", "The device not support partial encoding")},
    {-48, QT_TRANSLATE_NOOP("QObject", "Connect session exceed")},
    {-49, QT_TRANSLATE_NOOP("QObject", "Function is blocking,waiting")},
    {-50, QT_TRANSLATE_NOOP("QObject", "Session close")},
    {-53, QT_TRANSLATE_NOOP("QObject", "Buffer size exceed")},
    {-55, QT_TRANSLATE_NOOP("QObject", "Cannot find a path to write data")},
    {-56, QT_TRANSLATE_NOOP("QObject", "Start function is not called")},
    {IOTC_ER_ALREADY_PROCESSING, QT_TRANSLATE_NOOP("QObject", "Already in processing")},
    {IOTC_ER_NOT_ENOUGH_MEMORY, QT_TRANSLATE_NOOP("QObject", "Out of memory")},
    {-59, QT_TRANSLATE_NOOP("QObject", "The device is banned and locked")},
    {-60, QT_TRANSLATE_NOOP("QObject", "Master have no response")},
    {-61, QT_TRANSLATE_NOOP("QObject", "Moudule has some resource problem")},
    {-62, QT_TRANSLATE_NOOP("QObject", "Send queue is full")},
    {-63, QT_TRANSLATE_NOOP("QObject", "The feature is not supported")},
    {-64, QT_TRANSLATE_NOOP("QObject", "Device is in sleep mode")},
    {-65, QT_TRANSLATE_NOOP("QObject", "Doesn't support this feature")},
    {-66, QT_TRANSLATE_NOOP("QObject", "WakeUp Init funtion isn't called")},
    {IOTC_ER_DEVICE_OFFLINE, QT_TRANSLATE_NOOP("QObject", "Device offline")},
    {-91, QT_TRANSLATE_NOOP("QObject", "Master invalid")},
    {IOTC_ER_DEVICE_KEY_MISMATCH,
     QT_TRANSLATE_NOOP("QObject", "The device's key is not the key trusted for it")},
    {IOTC_ER_SECURE_HANDSHAKE_FAILED,
     QT_TRANSLATE_NOOP("QObject", "The secure connection to the device failed")},
    {AV_ER_INVALID_ARG, QT_TRANSLATE_NOOP("QObject", "Arguments incorrect")},
    {AV_ER_BUFPARA_MAXSIZE_INSUFF, QT_TRANSLATE_NOOP("QObject", "Buffer is too small")},
    {AV_ER_EXCEED_MAX_CHANNEL, QT_TRANSLATE_NOOP("QObject", "The channels has reached maximum")},
    {AV_ER_MEM_INSUFF, QT_TRANSLATE_NOOP("QObject", "Insufficient memory")},
    {AV_ER_FAIL_CREATE_THREAD, QT_TRANSLATE_NOOP("QObject", "Fails to create threads")},
    {AV_ER_EXCEED_MAX_ALARM, QT_TRANSLATE_NOOP("QObject", "A warning error")},
    {AV_ER_EXCEED_MAX_SIZE, QT_TRANSLATE_NOOP("QObject", "The buffer to be sent exceeds")},
    {AV_ER_SERV_NO_RESPONSE, QT_TRANSLATE_NOOP("QObject", "Has no response")},
    {AV_ER_CLIENT_NO_AVLOGIN, QT_TRANSLATE_NOOP("QObject", "Client does not start")},
    {AV_ER_WRONG_VIEWACCorPWD, QT_TRANSLATE_NOOP("QObject", "Incorrect view account or password")},
    {AV_ER_INVALID_SID, QT_TRANSLATE_NOOP("QObject", "Session is not valid")},
    {AV_ER_TIMEOUT, QT_TRANSLATE_NOOP("QObject", "Timeout has expired")},
    {AV_ER_DATA_NOREADY, QT_TRANSLATE_NOOP("QObject", "Not ready for receiving")},
    {AV_ER_INCOMPLETE_FRAME, QT_TRANSLATE_NOOP("QObject", "Some parts of a frame are lost")},
    {AV_ER_LOSED_THIS_FRAME, QT_TRANSLATE_NOOP("QObject", "The whole frame is lost")},
    {AV_ER_SESSION_CLOSE_BY_REMOTE,
     QT_TRANSLATE_NOOP("QObject", "The remote session already closes")},
    {AV_ER_REMOTE_TIMEOUT_DISCONNECT, QT_TRANSLATE_NOOP("QObject", "Session is disconnected")},
    {AV_ER_SERVER_EXIT, QT_TRANSLATE_NOOP("QObject", "Server exit")},
    {AV_ER_CLIENT_EXIT, QT_TRANSLATE_NOOP("QObject", "Client exit")},
    {AV_ER_NOT_INITIALIZED, QT_TRANSLATE_NOOP("QObject", "Module has not been initialized")},
    {AV_ER_CLIENT_NOT_SUPPORT, QT_TRANSLATE_NOOP("QObject", "Client cannot send data")},
    {AV_ER_SENDIOCTRL_ALREADY_CALLED, QT_TRANSLATE_NOOP("QObject", "Already in sending")},
    {AV_ER_SENDIOCTRL_EXIT, QT_TRANSLATE_NOOP("QObject", "Sending  is terminated ")},
    {AV_ER_NO_PERMISSION, QT_TRANSLATE_NOOP("QObject", "No permission")},
    {AV_ER_WRONG_ACCPWD_LENGTH, QT_TRANSLATE_NOOP("QObject", "Password length is wrong")},
    {AV_ER_IOTC_SESSION_CLOSED, QT_TRANSLATE_NOOP("QObject", "Session has been closed")},
    {AV_ER_IOTC_DEINITIALIZED, QT_TRANSLATE_NOOP("QObject", "Moudule deinitialized")},
    {AV_ER_IOTC_CHANNEL_IN_USED, QT_TRANSLATE_NOOP("QObject", "Channel is used")},
    {AV_ER_WAIT_KEYFRAME, QT_TRANSLATE_NOOP("QObject", "Waiting key frame")},
    {AV_ER_CLEANBUF_ALREADY_CALLED, QT_TRANSLATE_NOOP("QObject", "Reset buffer")},
    {AV_ER_SOCKET_QUEUE_FULL, QT_TRANSLATE_NOOP("QObject", "Queue is full")},
    {AV_ER_ALREADY_INITIALIZED, QT_TRANSLATE_NOOP("QObject", "Module is already initialized")},
    {AV_ER_DASA_CLEAN_BUFFER, QT_TRANSLATE_NOOP("QObject", "Clean buffer ")},
};

} // namespace

QString errorText(int code)
{
    for (const ErrorEntry &e : errorTable) {
        if (e.code == code)
            return QCoreApplication::translate("QObject", e.text);
    }
    return QStringLiteral("No process:") + QString::number(code);
}
