#pragma once

// True for the SDK results that mean a device's session is gone: the device
// closed it or vanished (connection closed, reset or malformed), its
// keep-alive expired, the session id is no longer valid, the AV module is not
// running, or the device closed the AV channel. Any later call on that
// session fails the same way, so the session has to be opened again. Pure;
// any thread.
bool isLinkLostCode(int code);
