#pragma once

#include <QtGlobal>

// What a PTZ command code of the P2P IO control asks an ONVIF camera for.
struct PtzAction
{
    enum class Kind { Move, Stop, SetPreset, GotoPreset, Unsupported };
    Kind kind = Kind::Unsupported;
    double pan = 0, tilt = 0, zoom = 0; // directions, -1 to 1
    int preset = 0;

    // The action of a command code: the short form's (IOCTRL_PTZ_SHORT) or the long form's.
    static PtzAction of(quint8 command, bool shortForm);
};
