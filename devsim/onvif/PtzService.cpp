#include "PtzService.h"

#include "MediaService.h"
#include "OnvifContext.h"
#include "SimDevice.h"
#include "SoapNamespaces.h"
#include "XmlNode.h"

#include <QXmlStreamWriter>

#include <algorithm>
#include <cmath>

namespace devsim {

namespace {

const QString &tt = SoapNs::Schema;
const QString &tptz = SoapNs::Ptz;
const QString kPanTiltVelocity =
    QStringLiteral("http://www.onvif.org/ver10/tptz/PanTiltSpaces/VelocityGenericSpace");
const QString kZoomVelocity =
    QStringLiteral("http://www.onvif.org/ver10/tptz/ZoomSpaces/VelocityGenericSpace");
const QString kPanTiltPosition =
    QStringLiteral("http://www.onvif.org/ver10/tptz/PanTiltSpaces/PositionGenericSpace");
const QString kZoomPosition =
    QStringLiteral("http://www.onvif.org/ver10/tptz/ZoomSpaces/PositionGenericSpace");
constexpr double kStill = 0.001; // velocities below this are no movement
// Long-form PTZ commands (IOCTRL_PTZ_LONG).
enum Command { Stop = 0, ZoomOut = 11, ZoomIn = 12, SetPreset = 15, GoPreset = 16 };

SoapFault invalid(const QString &subcode, const QString &reason)
{
    return SoapFault::sender({QStringLiteral("InvalidArgVal"), subcode}, reason);
}

int speedOf(double v)
{
    return std::clamp(static_cast<int>(std::lround(std::fabs(v) * 8)), 1, 8);
}

// The long-form direction command of a pan/tilt velocity (x right, y up).
int directionOf(double x, double y)
{
    const int h = x < -kStill ? -1 : (x > kStill ? 1 : 0);
    const int v = y < -kStill ? -1 : (y > kStill ? 1 : 0);
    static const int commands[3][3] = {{6, 1, 5},  // left: down-left, left, up-left
                                       {4, 0, 3},  // down, none, up
                                       {8, 2, 7}}; // right: down-right, right, up-right
    return commands[h + 1][v + 1];
}

// A velocity's coordinate: nullopt when it is no number in -1..1.
std::optional<double> coordinate(const XmlNode &vector, const char *name)
{
    bool ok = false;
    const double v = vector.attribute(QLatin1String(name)).value_or(QString()).toDouble(&ok);
    return ok && std::isfinite(v) && v >= -1 && v <= 1 ? std::optional<double>(v) : std::nullopt;
}

std::optional<SoapFault> continuousMove(const XmlNode &request, OnvifContext &context, int channel,
                                        QXmlStreamWriter &w)
{
    const XmlNode *velocity = request.child(tptz, QStringLiteral("Velocity"));
    if (!velocity)
        return SoapFault::sender({QStringLiteral("InvalidArgs")}, QStringLiteral("no Velocity"));
    const XmlNode *panTilt = velocity->child(tt, QStringLiteral("PanTilt"));
    const XmlNode *zoom = velocity->child(tt, QStringLiteral("Zoom"));
    if ((panTilt && panTilt->attribute(QStringLiteral("space")).value_or(kPanTiltVelocity) !=
                        kPanTiltVelocity) ||
        (zoom && zoom->attribute(QStringLiteral("space")).value_or(kZoomVelocity) != kZoomVelocity))
        return invalid(QStringLiteral("SpaceNotSupported"),
                       QStringLiteral("only the generic velocity spaces are supported"));
    const std::optional<double> x = panTilt ? coordinate(*panTilt, "x") : 0.0;
    const std::optional<double> y = panTilt ? coordinate(*panTilt, "y") : 0.0;
    const std::optional<double> z = zoom ? coordinate(*zoom, "x") : 0.0;
    if (!x || !y || !z)
        return invalid(QStringLiteral("InvalidVelocity"),
                       QStringLiteral("velocities are numbers from -1 to 1"));
    const bool panTiltStill = std::fabs(*x) < kStill && std::fabs(*y) < kStill;
    const bool zoomStill = std::fabs(*z) < kStill;
    SimDevice &device = context.device;
    if ((panTilt && panTiltStill) || (zoom && zoomStill))
        device.ptzCommand(channel, Stop, 1, 0);
    if (panTilt && !panTiltStill)
        device.ptzCommand(channel, directionOf(*x, *y),
                          speedOf(std::max(std::fabs(*x), std::fabs(*y))), 0);
    if (zoom && !zoomStill)
        device.ptzCommand(channel, *z > 0 ? ZoomIn : ZoomOut, speedOf(*z), 0);
    w.writeEmptyElement(tptz, QStringLiteral("ContinuousMoveResponse"));
    return std::nullopt;
}

std::optional<int> presetNumber(const QString &token)
{
    bool ok = false;
    const int n = token.toInt(&ok);
    return ok && n >= 1 && n <= PtzService::MaxPresets && token == QString::number(n)
               ? std::optional<int>(n)
               : std::nullopt;
}

QString presetName(const OnvifContext &context, int channel, int number)
{
    const auto it = context.presetNames.find({channel, number});
    return it != context.presetNames.end() ? it->second : QStringLiteral("Preset %1").arg(number);
}

std::optional<SoapFault> setPreset(const XmlNode &request, OnvifContext &context, int channel,
                                   QXmlStreamWriter &w)
{
    const std::vector<PtzCamera::Preset> presets = context.device.ptz(channel)->presets();
    const auto exists = [&](int n) {
        return std::any_of(presets.begin(), presets.end(),
                           [n](const PtzCamera::Preset &p) { return p.number == n; });
    };
    const std::optional<QString> name = request.childText(tptz, QStringLiteral("PresetName"));
    const std::optional<QString> token = request.childText(tptz, QStringLiteral("PresetToken"));
    int number = 0;
    if (token) {
        const std::optional<int> n = presetNumber(*token);
        if (!n || !exists(*n))
            return invalid(QStringLiteral("NoToken"), QStringLiteral("no such preset"));
        number = *n;
    } else {
        for (number = 1; number <= PtzService::MaxPresets && exists(number); ++number) {
        }
        if (number > PtzService::MaxPresets)
            return SoapFault{SoapFault::Code::Receiver,
                             {QStringLiteral("Action"), QStringLiteral("TooManyPresets")},
                             QStringLiteral("every preset is set")};
    }
    if (name) {
        if (name->isEmpty() || name->size() > 64)
            return invalid(QStringLiteral("InvalidPresetName"),
                           QStringLiteral("a preset name has 1 to 64 characters"));
        for (const PtzCamera::Preset &p : presets)
            if (p.number != number && presetName(context, channel, p.number) == *name)
                return invalid(QStringLiteral("PresetExist"),
                               QStringLiteral("another preset has that name"));
        context.presetNames[{channel, number}] = *name;
    }
    context.device.ptzCommand(channel, SetPreset, 1, number);
    w.writeStartElement(tptz, QStringLiteral("SetPresetResponse"));
    w.writeTextElement(tptz, QStringLiteral("PresetToken"), QString::number(number));
    w.writeEndElement();
    return std::nullopt;
}

void writePresets(OnvifContext &context, int channel, QXmlStreamWriter &w)
{
    w.writeStartElement(tptz, QStringLiteral("GetPresetsResponse"));
    for (const PtzCamera::Preset &p : context.device.ptz(channel)->presets()) {
        if (p.number < 1 || p.number > PtzService::MaxPresets)
            continue;
        w.writeStartElement(tptz, QStringLiteral("Preset"));
        w.writeAttribute(QStringLiteral("token"), QString::number(p.number));
        w.writeTextElement(tt, QStringLiteral("Name"), presetName(context, channel, p.number));
        w.writeStartElement(tt, QStringLiteral("PTZPosition"));
        w.writeEmptyElement(tt, QStringLiteral("PanTilt"));
        w.writeAttribute(QStringLiteral("x"), QString::number(p.pan * 2 - 1, 'f', 3));
        w.writeAttribute(QStringLiteral("y"), QString::number(1 - p.tilt * 2, 'f', 3));
        w.writeAttribute(QStringLiteral("space"), kPanTiltPosition);
        w.writeEmptyElement(tt, QStringLiteral("Zoom"));
        w.writeAttribute(QStringLiteral("x"),
                         QString::number((p.zoom - 1) / (PtzCamera::MaxZoom - 1), 'f', 3));
        w.writeAttribute(QStringLiteral("space"), kZoomPosition);
        w.writeEndElement();
        w.writeEndElement();
    }
    w.writeEndElement();
}

} // namespace

void PtzService::writeCapabilities(QXmlStreamWriter &w, const OnvifContext &)
{
    w.writeEmptyElement(tptz, QStringLiteral("Capabilities"));
}

void PtzService::writeConfiguration(QXmlStreamWriter &w, int channel)
{
    w.writeStartElement(tt, QStringLiteral("PTZConfiguration"));
    w.writeAttribute(QStringLiteral("token"), QStringLiteral("ptz%1").arg(channel));
    w.writeTextElement(tt, QStringLiteral("Name"), QStringLiteral("CH%1 PTZ").arg(channel + 1));
    w.writeTextElement(tt, QStringLiteral("UseCount"), QStringLiteral("2"));
    w.writeTextElement(tt, QStringLiteral("NodeToken"), QStringLiteral("ptznode%1").arg(channel));
    w.writeTextElement(tt, QStringLiteral("DefaultContinuousPanTiltVelocitySpace"),
                       kPanTiltVelocity);
    w.writeTextElement(tt, QStringLiteral("DefaultContinuousZoomVelocitySpace"), kZoomVelocity);
    w.writeTextElement(tt, QStringLiteral("DefaultPTZTimeout"),
                       QStringLiteral("PT%1S").arg(PtzCamera::MoveTimeoutMs / 1000));
    w.writeEndElement();
}

std::optional<SoapFault> PtzService::handle(const XmlNode &request, OnvifContext &context,
                                            QXmlStreamWriter &w)
{
    const QString &op = request.name;
    if (op == QLatin1String("GetServiceCapabilities")) {
        w.writeStartElement(tptz, QStringLiteral("GetServiceCapabilitiesResponse"));
        writeCapabilities(w, context);
        w.writeEndElement();
        return std::nullopt;
    }
    const bool known = op == QLatin1String("ContinuousMove") || op == QLatin1String("Stop") ||
                       op == QLatin1String("GetPresets") || op == QLatin1String("SetPreset") ||
                       op == QLatin1String("GotoPreset");
    if (!known)
        return SoapFault{SoapFault::Code::Receiver,
                         {QStringLiteral("ActionNotSupported")},
                         op + QStringLiteral(" is not supported")};
    const QString token =
        request.childText(tptz, QStringLiteral("ProfileToken")).value_or(QString());
    const auto profile = context.profile(token);
    if (!profile)
        return MediaService::noProfile(token);
    const int channel = profile->first;
    if (!context.device.ptz(channel))
        return invalid(QStringLiteral("NoPTZProfile"), QStringLiteral("the channel has no PTZ"));

    if (op == QLatin1String("ContinuousMove"))
        return continuousMove(request, context, channel, w);
    if (op == QLatin1String("SetPreset"))
        return setPreset(request, context, channel, w);
    if (op == QLatin1String("GetPresets")) {
        writePresets(context, channel, w);
        return std::nullopt;
    }
    if (op == QLatin1String("GotoPreset")) {
        const std::optional<int> n = presetNumber(
            request.childText(tptz, QStringLiteral("PresetToken")).value_or(QString()));
        const std::vector<PtzCamera::Preset> presets = context.device.ptz(channel)->presets();
        if (!n || std::none_of(presets.begin(), presets.end(),
                               [&](const PtzCamera::Preset &p) { return p.number == *n; }))
            return invalid(QStringLiteral("NoToken"), QStringLiteral("no such preset"));
        context.device.ptzCommand(channel, GoPreset, 1, *n);
        w.writeEmptyElement(tptz, QStringLiteral("GotoPresetResponse"));
        return std::nullopt;
    }
    // Stop: PanTilt and Zoom default to true; the camera stops both at once.
    const auto flag = [&](const char *name) {
        const QString v =
            request.childText(tptz, QLatin1String(name)).value_or(QStringLiteral("true"));
        return v == QLatin1String("true") || v == QLatin1String("1");
    };
    if (flag("PanTilt") || flag("Zoom"))
        context.device.ptzCommand(channel, Stop, 1, 0);
    w.writeEmptyElement(tptz, QStringLiteral("StopResponse"));
    return std::nullopt;
}

} // namespace devsim
