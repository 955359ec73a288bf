#pragma once

#include "DeviceSession.h"
#include "Wire.h"

namespace p2p {

struct DeviceEngine;

// What a client session sends once past its handshake, one handler per
// message type: AV logins (answered at a slower pace after failures), the
// login results and closes of AV and talk channels, IO control and talk
// audio; each reaches the DeviceServer's callbacks. Works on its engine's
// configuration, callbacks, login guard and mutex.
//
// Threads: the io thread only; the engine's mutex m guards the session
// fields marked so in DeviceSession.
class DeviceRequestHandler
{
public:
    explicit DeviceRequestHandler(DeviceEngine &engine);

    // False when the message is malformed or not allowed (the caller then
    // closes the session).
    bool handle(DeviceSession &s, const wire::Message &msg);

private:
    bool onAvLogin(DeviceSession &s, const wire::Message &msg);
    void answerLogin(DeviceSession &s, int ch, const wire::AvLogin &login);
    void armLoginTimer(DeviceSession &s);
    bool onAvLoginResult(DeviceSession &s, const wire::Message &msg);
    bool onAvClose(DeviceSession &s, const wire::Message &msg);
    bool onIoCtrl(DeviceSession &s, const wire::Message &msg);
    bool onTalkAudio(DeviceSession &s, const wire::Message &msg);
    bool onVideo(DeviceSession &s, const wire::Message &msg);

    DeviceEngine &engine_;
};

} // namespace p2p
