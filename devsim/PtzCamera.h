#pragma once

#include "TestPattern.h"

#include <QString>

#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

namespace devsim {

// The camera of a PTZ channel: a view onto a generated panorama (a sky and ground with a grid
// and eight coloured landmarks) that pan, tilt and zoom move, focus blurs and iris brightens or
// darkens. A movement lasts until a stop, or until no command renewed it for MoveTimeoutMs (a
// lost stop). Presets keep positions; a cruise visits the set presets in turn, DwellMs at each;
// an automatic cruise sweeps left and right.
//
// Positions are fractions of the panorama: pan 0..1 left to right, tilt 0..1 top to bottom, the
// view's centre; the view spans ViewWidth / zoom of the width and ViewHeight / zoom of the
// height. Threads: any; one lock.
class PtzCamera
{
public:
    static constexpr double ViewWidth = 0.2;
    static constexpr double ViewHeight = 1.0 / 3.0;
    static constexpr double MaxZoom = 4.0;
    static constexpr int MaxFocus = 6;
    static constexpr int MaxIris = 60;
    static constexpr std::int64_t MoveTimeoutMs = 3000;
    static constexpr std::int64_t DwellMs = 3000;

    // Applies one PTZ command (short form: 8-byte message, long form: 12 bytes; extra is the
    // long form's byte 8). Returns the command's name for the status line, empty when the
    // command is unknown.
    QString apply(bool shortForm, int command, int speed, int extra, std::int64_t nowMs);
    // Advances a movement or cruise to nowMs; true when a lost stop ended a movement.
    bool tick(std::int64_t nowMs);
    // "pos=<pan>,<tilt> zoom=<z>" with three decimals.
    QString status() const;
    void render(TestPattern::Picture &picture, int channel, const std::string &clockText) const;

    double pan() const;
    double tilt() const;

    struct Preset
    {
        int number; // from 1, as the long form's extra byte counts them
        double pan, tilt, zoom;
    };
    // The presets set so far, by number.
    std::vector<Preset> presets() const;

private:
    struct Position
    {
        double pan = 0.5;
        double tilt = 0.5;
        double zoom = 1.0;
    };
    void clampLocked();
    void moveLocked(std::int64_t nowMs);

    mutable std::mutex m_lock;
    Position m_pos;
    int m_focus = 0; // 0 sharp; blur grows with |focus|
    int m_iris = 0;  // luma offset
    // Rates per second while moving.
    double m_panRate = 0, m_tiltRate = 0, m_zoomRate = 0;
    int m_focusStep = 0, m_irisStep = 0;
    std::int64_t m_lastCommandMs = 0;
    std::int64_t m_lastTickMs = -1;
    std::map<int, Position> m_presets;
    bool m_cruising = false;
    bool m_autoCruise = false;
    std::int64_t m_nextStopMs = 0;
    int m_cruiseIndex = 0;
    double m_autoDirection = 1;
};

} // namespace devsim
