#include "link/ErrorText.h"

#include <QCoreApplication>

namespace {

struct ErrorEntry
{
    int code;
    const char *text;
};

// Texts are exact, inner and trailing spaces included.
constexpr ErrorEntry errorTable[] = {
    {-1, QT_TRANSLATE_NOOP("QObject", "No response")},
    {-2, QT_TRANSLATE_NOOP("QObject", "Cannot resolve domain name")},
    {-3, QT_TRANSLATE_NOOP("QObject", "Module already initialized")},
    {-4, QT_TRANSLATE_NOOP("QObject", "Fails to create Mutexes")},
    {-5, QT_TRANSLATE_NOOP("QObject", "Fails to create threads")},
    {-6, QT_TRANSLATE_NOOP("QObject", "Fails to create sockets")},
    {-7, QT_TRANSLATE_NOOP("QObject", "Fails to set up socket options")},
    {-8, QT_TRANSLATE_NOOP("QObject", "Fails to bind sockets")},
    {-10, QT_TRANSLATE_NOOP("QObject", "UID is not licensed or expired")},
    {-11, QT_TRANSLATE_NOOP("QObject", "Already login")},
    {-12, QT_TRANSLATE_NOOP("QObject", "Module is not initialized")},
    {-13, QT_TRANSLATE_NOOP("QObject", "Time out")},
    {-14, QT_TRANSLATE_NOOP("QObject", "SID invalid")},
    {-15, QT_TRANSLATE_NOOP("QObject", "Unknown device")},
    {-16, QT_TRANSLATE_NOOP("QObject", "Fails to get the local IP")},
    {-17, QT_TRANSLATE_NOOP("QObject", "Already start")},
    {-18, QT_TRANSLATE_NOOP("QObject", "Sessions has reached maximum")},
    {-19, QT_TRANSLATE_NOOP("QObject", "Cannot locate the specified device")},
    {-22, QT_TRANSLATE_NOOP("QObject", "Session already closes")},
    {-23, QT_TRANSLATE_NOOP("QObject", "Session timeout")},
    {-24, QT_TRANSLATE_NOOP("QObject", "Fails to connect to a device")},
    {-26, QT_TRANSLATE_NOOP("QObject", "Channel is not turned on")},
    {-27, QT_TRANSLATE_NOOP("QObject", "Client stops connecting")},
    {-28, QT_TRANSLATE_NOOP("QObject", "Too few masters are specified")},
    {-29, QT_TRANSLATE_NOOP("QObject", "A client fails to pass certification")},
    {-31, QT_TRANSLATE_NOOP("QObject", "The channels for a session has reached maximum")},
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
    {-46, QT_TRANSLATE_NOOP("QObject", "The arguments is invalid")},
    {-47, QT_TRANSLATE_NOOP("QObject", "The device not support partial encoding")},
    {-48, QT_TRANSLATE_NOOP("QObject", "Connect session exceed")},
    {-49, QT_TRANSLATE_NOOP("QObject", "Function is blocking,waiting")},
    {-50, QT_TRANSLATE_NOOP("QObject", "Session close")},
    {-53, QT_TRANSLATE_NOOP("QObject", "Buffer size exceed")},
    {-55, QT_TRANSLATE_NOOP("QObject", "Cannot find a path to write data")},
    {-56, QT_TRANSLATE_NOOP("QObject", "Start function is not called")},
    {-57, QT_TRANSLATE_NOOP("QObject", "Already in processing")},
    {-58, QT_TRANSLATE_NOOP("QObject", "Out of memory")},
    {-59, QT_TRANSLATE_NOOP("QObject", "The device is banned and locked")},
    {-60, QT_TRANSLATE_NOOP("QObject", "Master have no response")},
    {-61, QT_TRANSLATE_NOOP("QObject", "Moudule has some resource problem")},
    {-62, QT_TRANSLATE_NOOP("QObject", "Send queue is full")},
    {-63, QT_TRANSLATE_NOOP("QObject", "The feature is not supported")},
    {-64, QT_TRANSLATE_NOOP("QObject", "Device is in sleep mode")},
    {-65, QT_TRANSLATE_NOOP("QObject", "Doesn't support this feature")},
    {-66, QT_TRANSLATE_NOOP("QObject", "WakeUp Init funtion isn't called")},
    {-90, QT_TRANSLATE_NOOP("QObject", "Device offline")},
    {-91, QT_TRANSLATE_NOOP("QObject", "Master invalid")},
    {-20000, QT_TRANSLATE_NOOP("QObject", "Arguments incorrect")},
    {-20001, QT_TRANSLATE_NOOP("QObject", "Buffer is too small")},
    {-20002, QT_TRANSLATE_NOOP("QObject", "The channels has reached maximum")},
    {-20003, QT_TRANSLATE_NOOP("QObject", "Insufficient memory")},
    {-20004, QT_TRANSLATE_NOOP("QObject", "Fails to create threads")},
    {-20005, QT_TRANSLATE_NOOP("QObject", "A warning error")},
    {-20006, QT_TRANSLATE_NOOP("QObject", "The buffer to be sent exceeds")},
    {-20007, QT_TRANSLATE_NOOP("QObject", "Has no response")},
    {-20008, QT_TRANSLATE_NOOP("QObject", "Client does not start")},
    {-20009, QT_TRANSLATE_NOOP("QObject", "Incorrect view account or password")},
    {-20010, QT_TRANSLATE_NOOP("QObject", "Session is not valid")},
    {-20011, QT_TRANSLATE_NOOP("QObject", "Timeout has expired")},
    {-20012, QT_TRANSLATE_NOOP("QObject", "Not ready for receiving")},
    {-20013, QT_TRANSLATE_NOOP("QObject", "Some parts of a frame are lost")},
    {-20014, QT_TRANSLATE_NOOP("QObject", "The whole frame is lost")},
    {-20015, QT_TRANSLATE_NOOP("QObject", "The remote session already closes")},
    {-20016, QT_TRANSLATE_NOOP("QObject", "Session is disconnected")},
    {-20017, QT_TRANSLATE_NOOP("QObject", "Server exit")},
    {-20018, QT_TRANSLATE_NOOP("QObject", "Client exit")},
    {-20019, QT_TRANSLATE_NOOP("QObject", "Module has not been initialized")},
    {-20020, QT_TRANSLATE_NOOP("QObject", "Client cannot send data")},
    {-20021, QT_TRANSLATE_NOOP("QObject", "Already in sending")},
    {-20022, QT_TRANSLATE_NOOP("QObject", "Sending  is terminated ")},
    {-20023, QT_TRANSLATE_NOOP("QObject", "No permission")},
    {-20024, QT_TRANSLATE_NOOP("QObject", "Password length is wrong")},
    {-20025, QT_TRANSLATE_NOOP("QObject", "Session has been closed")},
    {-20026, QT_TRANSLATE_NOOP("QObject", "Moudule deinitialized")},
    {-20027, QT_TRANSLATE_NOOP("QObject", "Channel is used")},
    {-20028, QT_TRANSLATE_NOOP("QObject", "Waiting key frame")},
    {-20029, QT_TRANSLATE_NOOP("QObject", "Reset buffer")},
    {-20030, QT_TRANSLATE_NOOP("QObject", "Queue is full")},
    {-20031, QT_TRANSLATE_NOOP("QObject", "Module is already initialized")},
    {-20032, QT_TRANSLATE_NOOP("QObject", "Clean buffer ")},
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
