#include "IoControl.h"

#include "IoCtrlType.h"

#include <QRegularExpression>

namespace devsim {

namespace {

constexpr int kVersionSize = 64;
constexpr int kWifiPayloadSize = 76;
constexpr int kWifiFieldSize = 32; // SSID at 0, password at 32, each NUL-padded

QByteArray cString(const QByteArray &bytes, int offset, int size)
{
    QByteArray field = bytes.mid(offset, size);
    const int nul = field.indexOf('\0');
    if (nul >= 0)
        field.truncate(nul);
    return field;
}

IoOutcome replyWith(std::uint32_t type, const QByteArray &payload)
{
    IoOutcome out;
    out.reply = IoReply{type, payload};
    return out;
}

} // namespace

IoControl::IoControl(DeviceSettings &settings)
    : m_settings(settings)
{
    m_handlers = {
        {IoCtrlType::StreamPrepare, &IoControl::streamPrepare},
        {IoCtrlType::VideoStart, &IoControl::videoStart},
        {IoCtrlType::VideoStop, &IoControl::videoStop},
        {IoCtrlType::AudioStart, &IoControl::audioStart},
        {IoCtrlType::AudioStop, &IoControl::audioStop},
        {IoCtrlType::QualitySet, &IoControl::qualitySet},
        {IoCtrlType::VersionReq, &IoControl::versionReq},
        {IoCtrlType::TimeSet, &IoControl::timeSet},
        {IoCtrlType::TimezoneSet, &IoControl::timezoneSet},
        {IoCtrlType::WifiSet, &IoControl::wifiSet},
        {IoCtrlType::SpeakerStart, &IoControl::speakerStart},
        {IoCtrlType::SpeakerStop, &IoControl::speakerStop},
    };
}

IoOutcome IoControl::handle(AvChannelState &state, std::uint32_t type, const QByteArray &payload)
{
    const auto it = m_handlers.find(type);
    if (it == m_handlers.end()) {
        IoOutcome out;
        out.known = false;
        return out;
    }
    return (this->*(it->second))(state, payload);
}

QByteArray IoControl::u32(std::uint32_t value)
{
    QByteArray out(4, '\0');
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return out;
}

std::optional<std::uint32_t> IoControl::readU32(const QByteArray &payload, int offset)
{
    if (offset < 0 || payload.size() < offset + 4)
        return std::nullopt;
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= static_cast<std::uint32_t>(static_cast<unsigned char>(payload.at(offset + i)))
             << (8 * i);
    return v;
}

bool IoControl::isValidTimeText(const QString &text)
{
    static const QRegularExpression re(
        QStringLiteral("^(\\d{4})-(\\d{1,2})-(\\d{1,2})-(\\d{1,2})-(\\d{1,2})-(\\d{1,2})$"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch())
        return false;
    const int month = m.captured(2).toInt();
    const int day = m.captured(3).toInt();
    const int hour = m.captured(4).toInt();
    const int minute = m.captured(5).toInt();
    const int second = m.captured(6).toInt();
    return month >= 1 && month <= 12 && day >= 1 && day <= 31 && hour <= 23 && minute <= 59 &&
           second <= 59;
}

IoOutcome IoControl::streamPrepare(AvChannelState &, const QByteArray &)
{
    return {};
}

IoOutcome IoControl::videoStart(AvChannelState &state, const QByteArray &payload)
{
    const std::uint32_t channel =
        readU32(payload, 0).value_or(static_cast<std::uint32_t>(state.avChannel));
    IoOutcome out;
    if (channel >= static_cast<std::uint32_t>(m_settings.channels))
        return out; // no such channel: nothing to start
    state.videoOn = true;
    state.videoChannel = static_cast<int>(channel);
    out.actions.push_back({IoAction::Kind::StartVideo, state.videoChannel});
    return out;
}

IoOutcome IoControl::videoStop(AvChannelState &state, const QByteArray &)
{
    IoOutcome out;
    if (!state.videoOn)
        return out;
    out.actions.push_back({IoAction::Kind::StopVideo, state.videoChannel});
    state.videoOn = false;
    return out;
}

IoOutcome IoControl::audioStart(AvChannelState &state, const QByteArray &)
{
    IoOutcome out;
    // The message carries no channel: the AV channel's own number is the one to hear.
    if (state.avChannel < 0 || state.avChannel >= m_settings.channels)
        return out;
    state.audioOn = true;
    state.audioChannel = state.avChannel;
    out.actions.push_back({IoAction::Kind::StartAudio, state.audioChannel});
    return out;
}

IoOutcome IoControl::audioStop(AvChannelState &state, const QByteArray &)
{
    IoOutcome out;
    if (!state.audioOn)
        return out;
    out.actions.push_back({IoAction::Kind::StopAudio, state.audioChannel});
    state.audioOn = false;
    return out;
}

IoOutcome IoControl::qualitySet(AvChannelState &state, const QByteArray &payload)
{
    const std::optional<std::uint32_t> channel = readU32(payload, 0);
    const std::optional<std::uint32_t> quality = readU32(payload, 4);
    if (!channel || !quality || *channel >= static_cast<std::uint32_t>(m_settings.channels) ||
        *quality > 1) {
        return replyWith(IoCtrlType::QualitySetResp, u32(1));
    }
    IoOutcome out = replyWith(IoCtrlType::QualitySetResp, u32(0));
    const bool hd = *quality == 1;
    if (hd != state.hd) {
        state.hd = hd;
        if (state.videoOn)
            out.actions.push_back({IoAction::Kind::SwitchQuality, state.videoChannel});
    }
    return out;
}

IoOutcome IoControl::versionReq(AvChannelState &, const QByteArray &)
{
    QByteArray version = m_settings.version.left(kVersionSize - 1);
    version.append(QByteArray(kVersionSize - version.size(), '\0'));
    return replyWith(IoCtrlType::VersionResp, version);
}

IoOutcome IoControl::timeSet(AvChannelState &, const QByteArray &payload)
{
    const QString text = QString::fromLatin1(payload);
    if (isValidTimeText(text))
        m_settings.timeText = text;
    return {}; // the device does not answer a time change
}

IoOutcome IoControl::timezoneSet(AvChannelState &, const QByteArray &payload)
{
    const QByteArray zone = cString(payload, 0, payload.size());
    if (m_settings.refuseTimezone || zone.isEmpty())
        return replyWith(IoCtrlType::TimezoneSetResp, u32(0));
    m_settings.timeZone = QString::fromLatin1(zone);
    return replyWith(IoCtrlType::TimezoneSetResp, u32(1));
}

IoOutcome IoControl::wifiSet(AvChannelState &, const QByteArray &payload)
{
    const QByteArray ssid = cString(payload, 0, kWifiFieldSize);
    if (payload.size() != kWifiPayloadSize || ssid.isEmpty())
        return replyWith(IoCtrlType::WifiSetResp, u32(1));
    m_settings.wifiSsid = ssid;
    m_settings.wifiPassword = cString(payload, kWifiFieldSize, kWifiFieldSize);
    return replyWith(IoCtrlType::WifiSetResp, u32(0));
}

IoOutcome IoControl::speakerStart(AvChannelState &state, const QByteArray &payload)
{
    IoOutcome out;
    const std::optional<std::uint32_t> channelId = readU32(payload, 0);
    if (!channelId || *channelId > 255)
        return out;
    if (state.talkChannelId >= 0)
        out.actions.push_back({IoAction::Kind::StopTalk, state.talkChannelId});
    state.talkChannelId = static_cast<int>(*channelId);
    out.actions.push_back({IoAction::Kind::StartTalk, state.talkChannelId});
    return out;
}

IoOutcome IoControl::speakerStop(AvChannelState &state, const QByteArray &)
{
    IoOutcome out;
    if (state.talkChannelId < 0)
        return out;
    out.actions.push_back({IoAction::Kind::StopTalk, state.talkChannelId});
    state.talkChannelId = -1;
    return out;
}

} // namespace devsim
