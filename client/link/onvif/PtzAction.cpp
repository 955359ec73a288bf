#include "link/onvif/PtzAction.h"

namespace {

PtzAction move(double pan, double tilt, double zoom = 0)
{
    return {PtzAction::Kind::Move, pan, tilt, zoom, 0};
}

} // namespace

PtzAction PtzAction::of(quint8 command, bool shortForm)
{
    using K = PtzAction::Kind;
    if (command == 0)
        return {K::Stop};
    if (shortForm) {
        switch (command) {
        case 1:
            return move(0, 1);
        case 2:
            return move(0, -1);
        case 3:
            return move(-1, 0);
        case 4:
            return move(1, 0);
        case 5:
        case 6:
            return {K::SetPreset, 0, 0, 0, command - 5};
        case 7:
        case 8:
            return {K::GotoPreset, 0, 0, 0, command - 7};
        default:
            return {};
        }
    }
    switch (command) {
    case 1:
        return move(-1, 0);
    case 2:
        return move(1, 0);
    case 3:
        return move(0, 1);
    case 4:
        return move(0, -1);
    case 5:
        return move(-1, 1);
    case 6:
        return move(-1, -1);
    case 7:
        return move(1, 1);
    case 8:
        return move(1, -1);
    case 11:
        return move(0, 0, -1);
    case 12:
        return move(0, 0, 1);
    default:
        return {};
    }
}
