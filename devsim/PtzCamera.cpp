#include "PtzCamera.h"

#include "BitmapFont.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace devsim {

namespace {

// Pan per second at speed 1 (a fraction of the panorama); tilt and zoom likewise.
constexpr double kPanPerSpeed = 0.02;
constexpr double kTiltPerSpeed = 0.03;
constexpr double kZoomPerSpeed = 0.15;

struct Landmark
{
    double u, v, radius;
    int colour;
};
constexpr Landmark kLandmarks[] = {
    {0.08, 0.35, 0.025, 0}, {0.22, 0.62, 0.03, 1}, {0.37, 0.30, 0.02, 2}, {0.50, 0.55, 0.035, 3},
    {0.63, 0.40, 0.025, 4}, {0.76, 0.70, 0.03, 5}, {0.88, 0.28, 0.02, 7}, {0.95, 0.60, 0.025, 6}};

// The panorama's colour at (u, v).
TestPattern::Yuv scene(double u, double v)
{
    for (const Landmark &l : kLandmarks) {
        const double du = (u - l.u) * 3.0; // the panorama is about three times wider than high
        const double dv = v - l.v;
        if (du * du + dv * dv < l.radius * l.radius)
            return TestPattern::toYuv(TestPattern::paletteColour(l.colour));
    }
    const bool line = std::fmod(u + 1.0, 0.02) < 0.0012 || std::fmod(v + 1.0, 0.05) < 0.003;
    if (line)
        return {200, 128, 128};
    if (v < 0.5) // sky: lighter towards the horizon
        return {std::uint8_t(90 + 60 * v), 150, 110};
    return {std::uint8_t(70 + 40 * (1 - v)), 110, 115}; // ground
}

} // namespace

QString PtzCamera::apply(bool shortForm, int command, int speed, int extra, std::int64_t nowMs)
{
    std::lock_guard<std::mutex> lock(m_lock);
    moveLocked(nowMs);
    const double s = std::clamp(speed, 1, 8);
    const auto move = [&](double pan, double tilt) {
        m_panRate = pan * kPanPerSpeed * s;
        m_tiltRate = tilt * kTiltPerSpeed * s;
        m_lastCommandMs = nowMs;
    };
    const auto stop = [&] {
        m_panRate = m_tiltRate = m_zoomRate = 0;
        m_focusStep = m_irisStep = 0;
    };
    const auto setPreset = [&](int n) { m_presets[n] = m_pos; };
    const auto goPreset = [&](int n) {
        stop();
        const auto it = m_presets.find(n);
        if (it != m_presets.end())
            m_pos = it->second;
    };
    if (shortForm) {
        switch (command) {
        case 0:
            stop();
            m_cruising = m_autoCruise = false;
            return QStringLiteral("stop");
        case 1:
            move(0, -1);
            return QStringLiteral("up");
        case 2:
            move(0, 1);
            return QStringLiteral("down");
        case 3:
            move(-1, 0);
            return QStringLiteral("left");
        case 4:
            move(1, 0);
            return QStringLiteral("right");
        case 5:
            setPreset(0);
            return QStringLiteral("preset-set 1");
        case 6:
            setPreset(1);
            return QStringLiteral("preset-set 2");
        case 7:
            goPreset(0);
            return QStringLiteral("preset-go 1");
        case 8:
            goPreset(1);
            return QStringLiteral("preset-go 2");
        case 11:
            m_cruising = true;
            m_cruiseIndex = 0;
            m_nextStopMs = nowMs;
            return QStringLiteral("cruise-start 1");
        default:
            return QString();
        }
    }
    switch (command) {
    case 0:
        stop();
        return QStringLiteral("stop");
    case 1:
        move(-1, 0);
        return QStringLiteral("left");
    case 2:
        move(1, 0);
        return QStringLiteral("right");
    case 3:
        move(0, -1);
        return QStringLiteral("up");
    case 4:
        move(0, 1);
        return QStringLiteral("down");
    case 5:
        move(-1, -1);
        return QStringLiteral("up-left");
    case 6:
        move(-1, 1);
        return QStringLiteral("down-left");
    case 7:
        move(1, -1);
        return QStringLiteral("up-right");
    case 8:
        move(1, 1);
        return QStringLiteral("down-right");
    case 9:
    case 10:
        m_focusStep = command == 9 ? -1 : 1;
        m_lastCommandMs = nowMs;
        return command == 9 ? QStringLiteral("focus-near") : QStringLiteral("focus-far");
    case 11:
    case 12:
        m_zoomRate = (command == 11 ? -1 : 1) * kZoomPerSpeed * s;
        m_lastCommandMs = nowMs;
        return command == 11 ? QStringLiteral("zoom-out") : QStringLiteral("zoom-in");
    case 13:
    case 14:
        m_irisStep = command == 13 ? -1 : 1;
        m_lastCommandMs = nowMs;
        return command == 13 ? QStringLiteral("iris-close") : QStringLiteral("iris-open");
    case 15:
        setPreset(extra - 1);
        return QStringLiteral("preset-set %1").arg(extra);
    case 16:
        goPreset(extra - 1);
        return QStringLiteral("preset-go %1").arg(extra);
    case 22:
    case 29:
        m_cruising = command == 22;
        m_autoCruise = command == 29;
        m_cruiseIndex = 0;
        m_nextStopMs = nowMs;
        return command == 22 ? QStringLiteral("cruise-start %1").arg(extra)
                             : QStringLiteral("auto-cruise-start");
    case 23:
        m_cruising = false;
        return QStringLiteral("cruise-stop %1").arg(extra);
    case 30:
        m_autoCruise = false;
        stop();
        return QStringLiteral("auto-cruise-stop");
    default:
        return QString();
    }
}

void PtzCamera::moveLocked(std::int64_t nowMs)
{
    if (m_lastTickMs < 0)
        m_lastTickMs = nowMs;
    const double dt = double(nowMs - m_lastTickMs) / 1000.0;
    m_lastTickMs = nowMs;
    if (dt <= 0)
        return;
    m_pos.pan += m_panRate * dt;
    m_pos.tilt += m_tiltRate * dt;
    m_pos.zoom += m_zoomRate * dt;
    m_focus = std::clamp(m_focus + m_focusStep, -MaxFocus, MaxFocus);
    m_iris = std::clamp(m_iris + m_irisStep * 2, -MaxIris, MaxIris);
    clampLocked();
}

void PtzCamera::clampLocked()
{
    m_pos.zoom = std::clamp(m_pos.zoom, 1.0, MaxZoom);
    const double halfW = ViewWidth / m_pos.zoom / 2;
    const double halfH = ViewHeight / m_pos.zoom / 2;
    m_pos.pan = std::clamp(m_pos.pan, halfW, 1 - halfW);
    m_pos.tilt = std::clamp(m_pos.tilt, halfH, 1 - halfH);
}

bool PtzCamera::tick(std::int64_t nowMs)
{
    std::lock_guard<std::mutex> lock(m_lock);
    moveLocked(nowMs);
    const bool moving =
        m_panRate != 0 || m_tiltRate != 0 || m_zoomRate != 0 || m_focusStep || m_irisStep;
    if (moving && !m_autoCruise && nowMs - m_lastCommandMs > MoveTimeoutMs) {
        m_panRate = m_tiltRate = m_zoomRate = 0;
        m_focusStep = m_irisStep = 0;
        return true;
    }
    if (m_cruising && !m_presets.empty() && nowMs >= m_nextStopMs) {
        auto it = m_presets.begin();
        std::advance(it, m_cruiseIndex % int(m_presets.size()));
        m_pos = it->second;
        ++m_cruiseIndex;
        m_nextStopMs = nowMs + DwellMs;
    }
    if (m_autoCruise) {
        const double halfW = ViewWidth / m_pos.zoom / 2;
        if (m_pos.pan >= 1 - halfW - 1e-6)
            m_autoDirection = -1;
        else if (m_pos.pan <= halfW + 1e-6)
            m_autoDirection = 1;
        m_panRate = m_autoDirection * kPanPerSpeed * 4;
    }
    return false;
}

QString PtzCamera::status() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return QStringLiteral("pos=%1,%2 zoom=%3")
        .arg(m_pos.pan, 0, 'f', 3)
        .arg(m_pos.tilt, 0, 'f', 3)
        .arg(m_pos.zoom, 0, 'f', 3);
}

std::vector<PtzCamera::Preset> PtzCamera::presets() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    std::vector<Preset> out;
    for (const auto &[index, pos] : m_presets)
        out.push_back(Preset{index + 1, pos.pan, pos.tilt, pos.zoom});
    return out;
}

double PtzCamera::pan() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_pos.pan;
}

double PtzCamera::tilt() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_pos.tilt;
}

void PtzCamera::render(TestPattern::Picture &p, int channel, const std::string &clockText) const
{
    Position pos;
    int focus = 0;
    int iris = 0;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        pos = m_pos;
        focus = m_focus;
        iris = m_iris;
    }
    // Out of focus: the picture is sampled in blocks, the larger the further off.
    const int block = 1 + 2 * std::abs(focus);
    const double du = ViewWidth / pos.zoom / p.width;
    const double dv = ViewHeight / pos.zoom / p.height;
    const double u0 = pos.pan - ViewWidth / pos.zoom / 2;
    const double v0 = pos.tilt - ViewHeight / pos.zoom / 2;
    for (int y = 0; y < p.height; y += 2) {
        for (int x = 0; x < p.width; x += 2) {
            const int sx = x / block * block;
            const int sy = y / block * block;
            const TestPattern::Yuv c = scene(u0 + sx * du, v0 + sy * dv);
            const std::uint8_t luma = std::uint8_t(std::clamp(int(c.y) + iris, 16, 235));
            for (int yy = y; yy < std::min(y + 2, p.height); ++yy)
                for (int xx = x; xx < std::min(x + 2, p.width); ++xx)
                    p.planes[0][yy * p.strides[0] + xx] = luma;
            p.planes[1][(y / 2) * p.strides[1] + x / 2] = c.u;
            p.planes[2][(y / 2) * p.strides[2] + x / 2] = c.v;
        }
    }
    const int scale = std::max(2, p.height / 90);
    const std::string label = "CH" + std::to_string(channel + 1) + " PTZ";
    BitmapFont::draw(p.planes[0], p.strides[0], p.width, p.height, 2 * scale, 2 * scale, label,
                     scale, 235);
    BitmapFont::draw(p.planes[0], p.strides[0], p.width, p.height, 2 * scale,
                     (BitmapFont::glyphHeight + 3) * scale, clockText, scale, 235);
}

} // namespace devsim
