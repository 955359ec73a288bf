#pragma once

#include "DeviceConfig.h"

#include <QString>

#include <map>
#include <optional>
#include <utility>

namespace devsim {

class SimDevice;

// What the ONVIF services need to answer one request: the device, where the client reached
// it, and the names given to PTZ presets. Lives for one request on the ONVIF server's thread.
struct OnvifContext
{
    SimDevice &device;
    const DeviceConfig &config;
    QString host; // the server's address as the client reached it, URL form ("[::1]" for IPv6)
    quint16 port = 0;
    quint16 rtspPort = 0;
    std::map<std::pair<int, int>, QString> &presetNames; // (channel, preset number)

    // "http://host:port/onvif/<name>".
    QString url(const QString &name) const
    {
        return QStringLiteral("http://%1:%2/onvif/%3").arg(host).arg(port).arg(name);
    }

    // A channel's recording ("Recording<channel>") and its video source ("vs<channel>").
    static QString recordingToken(int channel)
    {
        return QStringLiteral("Recording%1").arg(channel);
    }
    static QString sourceToken(int channel) { return QStringLiteral("vs%1").arg(channel); }
    // The channel of a recording token of this device; nullopt for any other text.
    std::optional<int> recording(const QString &token) const
    {
        const QString prefix = QStringLiteral("Recording");
        if (!token.startsWith(prefix))
            return std::nullopt;
        bool ok = false;
        const QString digits = token.mid(prefix.size());
        const int channel = digits.toInt(&ok);
        if (!ok || channel < 0 || channel >= config.channels || digits != QString::number(channel))
            return std::nullopt;
        return channel;
    }

    // Media profile tokens: "ch<channel>_main" (HD) and "ch<channel>_sub" (SD).
    static QString profileToken(int channel, bool main)
    {
        return QStringLiteral("ch%1_%2").arg(channel).arg(main ? QStringLiteral("main")
                                                               : QStringLiteral("sub"));
    }
    // (channel, main) of a profile token of this device; nullopt for any other text.
    std::optional<std::pair<int, bool>> profile(const QString &token) const
    {
        for (const bool main : {true, false}) {
            const QString suffix = main ? QStringLiteral("_main") : QStringLiteral("_sub");
            if (!token.startsWith(QLatin1String("ch")) || !token.endsWith(suffix))
                continue;
            bool ok = false;
            const QString digits = token.mid(2, token.size() - 2 - suffix.size());
            const int channel = digits.toInt(&ok);
            if (ok && channel >= 0 && channel < config.channels &&
                digits == QString::number(channel))
                return std::make_pair(channel, main);
        }
        return std::nullopt;
    }
};

} // namespace devsim
