#include "SimDevice.h"

#include "IoCtrlType.h"
#include "MediaPump.h"
#include "MotionSchedule.h"
#include "StatusOutput.h"
#include "onvif/OnvifServer.h"
#include "rtsp/RtspServer.h"

#include <QCryptographicHash>
#include <QFile>
#include <QDateTime>

namespace devsim {

namespace {

QByteArray toBytes(const std::vector<std::uint8_t> &v)
{
    return QByteArray(reinterpret_cast<const char *>(v.data()), static_cast<int>(v.size()));
}

const char *actionName(IoAction::Kind kind)
{
    switch (kind) {
    case IoAction::Kind::StartVideo:
        return "video-start";
    case IoAction::Kind::StopVideo:
        return "video-stop";
    case IoAction::Kind::SwitchQuality:
        return "quality";
    case IoAction::Kind::StartAudio:
        return "audio-start";
    case IoAction::Kind::StopAudio:
        return "audio-stop";
    case IoAction::Kind::StartTalk:
        return "talk-start";
    case IoAction::Kind::StopTalk:
        return "talk-stop";
    }
    return "?";
}

} // namespace

SimDevice::SimDevice(const DeviceConfig &config)
    : m_config(config)
    , m_ptz(config.uid, config.isPtz(), config.channels)
    , m_talk(config.uid, config.talkWav)
{
    m_settings.version = config.version.toLatin1();
    m_settings.refuseTimezone = config.refuseTimezone;
    m_settings.channels = config.channels;
    m_io = std::make_unique<IoControl>(m_settings);
    QString error;
    const std::optional<QList<RecordStore::Span>> schedule = RecordStore::parseSchedule(
        config.recordings.isEmpty() ? QLatin1String(RecordStore::DefaultSchedule)
                                    : config.recordings,
        &error);
    const RecordStore store(schedule.value_or(QList<RecordStore::Span>()), config.recordDays,
                            QDateTime::currentSecsSinceEpoch());
    const auto daily = [](const QString &text) {
        return text.isEmpty()
                   ? QList<RecordStore::Span>()
                   : RecordStore::parseSchedule(text, nullptr).value_or(QList<RecordStore::Span>());
    };
    const RecordKinds kinds(store, MotionSchedule(daily(config.motion), store).recorded(),
                            MotionSchedule(daily(config.alarms), store).recorded());
    m_playback = std::make_unique<PlaybackControl>(
        store, kinds, config.channels, FrameGrid{config.fps, config.fps * config.gopSec});
    m_playback->setChannelLimit(config.playbackChannels);
}

SimDevice::~SimDevice()
{
    stop();
}

std::uint16_t SimDevice::port() const
{
    return m_server ? m_server->port() : 0;
}

QString SimDevice::where(int session, int channel) const
{
    return QStringLiteral("%1 %2/%3").arg(m_config.uid).arg(session).arg(channel);
}

bool SimDevice::start(QString *error)
{
    p2p::DeviceConfig serverConfig;
    serverConfig.uid = m_config.uid.toStdString();
    serverConfig.name = m_config.name.toLatin1().toStdString();
    serverConfig.account = m_config.account.toLatin1().toStdString();
    serverConfig.password = m_config.password.toLatin1().toStdString();
    serverConfig.tcpPort = static_cast<std::uint16_t>(m_config.port);
    serverConfig.maxSessions = static_cast<std::size_t>(m_config.maxSessions);
    if (!m_config.stateDir.isEmpty()) {
        std::string reason;
        if (!p2p::loadOrCreateIdentity(QFile::encodeName(m_config.stateDir).toStdString(),
                                       serverConfig.uid, serverConfig.tlsKeyPem,
                                       serverConfig.tlsCertPem, &reason)) {
            *error = QStringLiteral("%1: device key: %2")
                         .arg(m_config.uid, QString::fromStdString(reason));
            return false;
        }
    }

    p2p::DeviceServer::Callbacks cb;
    cb.sessionOpened = [this](int s, const std::string &peer) { onSessionOpened(s, peer); };
    cb.channelOpened = [this](int s, int c) { onChannelOpened(s, c); };
    cb.loginRefused = [this](int s, int c) {
        StatusOutput::line(QStringLiteral("LOGIN_REFUSED ") + where(s, c));
    };
    cb.ioCtrl = [this](int s, int c, std::uint32_t type, const std::vector<std::uint8_t> &p) {
        onIoCtrl(s, c, type, p);
    };
    cb.channelClosed = [this](int s, int c) { onChannelClosed(s, c); };
    cb.sessionClosed = [this](int s) { onSessionClosed(s); };
    cb.talkOpened = [this](int s, int c, int result) { onTalkOpened(s, c, result); };
    cb.talkAudio = [this](int s, int c, const std::vector<std::uint8_t> &data,
                          const p2p::FrameInfo &) { onTalkAudio(s, c, data); };
    cb.talkClosed = [this](int s, int c) { onTalkClosed(s, c); };

    m_server = std::make_unique<p2p::DeviceServer>(serverConfig, cb);
    p2p::DeviceFaults faults;
    faults.refuseConnections = m_config.fault == ConnectFault::Refuse;
    faults.silentHandshake = m_config.fault == ConnectFault::Silent;
    faults.dropSessionAfterSec = m_config.dropAfterSec;
    m_server->setFaults(faults);
    // Before the server starts: its callbacks use them.
    m_thumbnails = std::make_unique<ThumbnailService>(
        m_config, recordStore(), m_playback->grid(),
        [this](int session, int channel, const QByteArray &payload, const QString &status) {
            StatusOutput::line(
                QStringLiteral("PLAYBACK %1 %2").arg(where(session, channel), status));
            sendReply(session, channel, IoCtrlType::ThumbnailResp, payload);
        });
    m_exports = std::make_unique<ExportManager>(
        *m_server, m_config, recordStore(), m_playback->grid(),
        [this](const ExportJob::Request &r, ExportJob::Result result, ExportJob::Counts counts) {
            exportFinished(r, result, counts);
        });

    std::string reason;
    if (!m_server->start(&reason)) {
        *error = QStringLiteral("%1: cannot listen: %2")
                     .arg(m_config.uid, QString::fromStdString(reason));
        m_exports.reset();
        m_thumbnails.reset();
        m_server.reset();
        return false;
    }
    m_pump = std::make_unique<MediaPump>(*this, m_config);
    m_pump->start();
    StatusOutput::line(QStringLiteral("READY %1 %2").arg(m_config.uid).arg(m_server->port()));
    StatusOutput::line(QStringLiteral("KEY %1 %2")
                           .arg(m_config.uid, QString::fromStdString(m_server->fingerprint())));
    if (m_config.servesRtsp()) {
        m_rtsp = std::make_unique<RtspServer>(m_config, m_taps);
        QString problem;
        if (!m_rtsp->start(&problem)) {
            *error = m_config.uid + QStringLiteral(": ") + problem;
            stop();
            return false;
        }
        for (int channel = 0; channel < m_config.channels; ++channel)
            StatusOutput::line(QStringLiteral("RTSP %1 rtsp://127.0.0.1:%2%3")
                                   .arg(m_config.uid)
                                   .arg(m_rtsp->port())
                                   .arg(RtspServer::path(m_config.uid, channel, true)));
    }
    if (m_config.onvifPort >= 0) {
        m_onvif = std::make_unique<OnvifServer>(*this, m_config, m_rtsp->port());
        QString problem;
        if (!m_onvif->start(&problem)) {
            *error = m_config.uid + QStringLiteral(": ") + problem;
            stop();
            return false;
        }
        StatusOutput::line(QStringLiteral("ONVIF %1 http://127.0.0.1:%2/onvif/device_service")
                               .arg(m_config.uid)
                               .arg(m_onvif->port()));
    }
    return true;
}

std::uint16_t SimDevice::onvifPort() const
{
    return m_onvif ? m_onvif->port() : 0;
}

std::uint16_t SimDevice::rtspPort() const
{
    return m_rtsp ? m_rtsp->port() : 0;
}

void SimDevice::stop()
{
    m_onvif.reset();
    if (m_rtsp) {
        m_rtsp->stop();
        m_rtsp.reset();
    }
    if (m_pump) {
        m_pump->stop();
        m_pump.reset();
    }
    if (m_server)
        m_server->stop(); // no more callbacks; exports still running find their channel gone
    m_exports.reset();
    m_thumbnails.reset();
    m_server.reset();
    m_talk.finish();
}

std::vector<SimDevice::AvKey> SimDevice::openChannels()
{
    std::lock_guard<std::mutex> lock(m_lock);
    std::vector<AvKey> out;
    out.reserve(m_channels.size());
    for (const auto &entry : m_channels)
        out.push_back(entry.first);
    return out;
}

std::vector<SimDevice::Viewer> SimDevice::viewers()
{
    std::lock_guard<std::mutex> lock(m_lock);
    std::vector<Viewer> out;
    out.reserve(m_channels.size());
    for (const auto &[key, state] : m_channels) {
        if (!state.videoOn && !state.audioOn)
            continue;
        Viewer v;
        v.key = key;
        v.videoChannel = state.videoOn ? state.videoChannel : -1;
        v.hd = state.hd;
        const auto need = m_needKey.find(key);
        v.needKey = need != m_needKey.end();
        v.keyRequest = v.needKey ? need->second : 0;
        v.audioChannel = state.audioOn ? state.audioChannel : -1;
        out.push_back(v);
    }
    return out;
}

void SimDevice::keyFrameSent(const Viewer &viewer)
{
    std::lock_guard<std::mutex> lock(m_lock);
    const auto need = m_needKey.find(viewer.key);
    const auto state = m_channels.find(viewer.key);
    if (need == m_needKey.end() || need->second != viewer.keyRequest || state == m_channels.end())
        return;
    if (state->second.videoChannel == viewer.videoChannel && state->second.hd == viewer.hd)
        m_needKey.erase(need);
}

int SimDevice::sessionCount()
{
    std::lock_guard<std::mutex> lock(m_lock);
    return static_cast<int>(m_sessions.size());
}

void SimDevice::reportTalkProgress()
{
    m_talk.reportProgress();
}

void SimDevice::onSessionOpened(int session, const std::string &peer)
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_sessions.insert(session);
    }
    StatusOutput::line(QStringLiteral("SESSION_OPEN %1 %2 %3")
                           .arg(m_config.uid)
                           .arg(session)
                           .arg(QString::fromStdString(peer)));
}

void SimDevice::onChannelOpened(int session, int channel)
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        AvChannelState state;
        state.avChannel = channel;
        m_channels[{session, channel}] = state;
        m_playback->channelOpened(session, channel);
    }
    if (m_exports)
        m_exports->channelOpened(session, channel);
    StatusOutput::line(QStringLiteral("CHANNEL_OPEN ") + where(session, channel));
}

void SimDevice::onIoCtrl(int session, int channel, std::uint32_t type,
                         const std::vector<std::uint8_t> &payload)
{
    const QByteArray bytes = toBytes(payload);
    // Export acknowledgements come hundreds a second: not on the status output.
    if (type != IoCtrlType::ExportAck)
        StatusOutput::line(QStringLiteral("IOCTRL %1 0x%2 %3")
                               .arg(where(session, channel))
                               .arg(type, 4, 16, QLatin1Char('0'))
                               .arg(StatusOutput::hex(bytes)));
    if (m_config.stallIo)
        return;
    if (handlePlayback(session, channel, type, bytes) ||
        handleMediaRequest(session, channel, type, bytes) || m_ptz.handleIoCtrl(type, bytes))
        return;

    IoOutcome outcome;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        auto it = m_channels.find({session, channel});
        if (it == m_channels.end()) {
            AvChannelState state;
            state.avChannel = channel;
            it = m_channels.emplace(AvKey{session, channel}, state).first;
        }
        outcome = m_io->handle(it->second, type, bytes);
        for (const IoAction &a : outcome.actions) {
            if (a.kind == IoAction::Kind::StartVideo || a.kind == IoAction::Kind::SwitchQuality)
                m_needKey[{session, channel}] = ++m_keyRequests;
            else if (a.kind == IoAction::Kind::StopVideo)
                m_needKey.erase({session, channel});
        }
    }
    if (outcome.reply)
        sendReply(session, channel, outcome.reply->type, outcome.reply->payload);
    if (m_config.printSettings && (type == IoCtrlType::TimeSet || type == IoCtrlType::TimezoneSet ||
                                   type == IoCtrlType::WifiSet))
        printSettings();
    for (const IoAction &a : outcome.actions) {
        StatusOutput::line(QStringLiteral("ACTION %1 %2 %3")
                               .arg(where(session, channel), QLatin1String(actionName(a.kind)))
                               .arg(a.value));
        if (a.kind == IoAction::Kind::StartTalk) {
            if (!m_server->openTalkChannel(session, a.value))
                StatusOutput::line(QStringLiteral("TALK_OPEN %1 -1").arg(where(session, a.value)));
        } else if (a.kind == IoAction::Kind::StopTalk) {
            m_server->closeTalkChannel(session, a.value);
            m_talk.closed(session, a.value);
        }
    }
}

void SimDevice::sendReply(int session, int channel, std::uint32_t type, const QByteArray &payload)
{
    m_server->sendIoCtrl(session, channel, type,
                         reinterpret_cast<const std::uint8_t *>(payload.constData()),
                         static_cast<std::size_t>(payload.size()));
    // A thumbnail's JPEG stays out of the line (up to 32 KB of hex would stall readers).
    constexpr int kThumbnailHead = 28;
    const bool cut = type == IoCtrlType::ThumbnailResp && payload.size() > kThumbnailHead;
    StatusOutput::line(QStringLiteral("REPLY %1 0x%2 %3%4")
                           .arg(where(session, channel))
                           .arg(type, 4, 16, QLatin1Char('0'))
                           .arg(StatusOutput::hex(cut ? payload.left(kThumbnailHead) : payload),
                                cut ? QStringLiteral("...") : QString()));
}

PtzCamera *SimDevice::ptz(int channel)
{
    return m_ptz.camera(channel);
}

QString SimDevice::ptzCommand(int channel, int command, int speed, int extra)
{
    return m_ptz.command(channel, command, speed, extra);
}

DeviceSettings SimDevice::settings()
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_settings;
}

void SimDevice::changeSettings(const std::function<void(DeviceSettings &)> &change)
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        change(m_settings);
    }
    if (m_config.printSettings)
        printSettings();
}

QDateTime SimDevice::now()
{
    const qint64 offset = settings().clockOffsetMs;
    return QDateTime::currentDateTimeUtc().addMSecs(offset);
}

void SimDevice::ptzTick()
{
    m_ptz.tick();
}

void SimDevice::printSettings()
{
    QString time, zone;
    QByteArray ssid, password;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        time = m_settings.timeText;
        zone = m_settings.timeZone;
        ssid = m_settings.wifiSsid;
        password = m_settings.wifiPassword;
    }
    // The Wi-Fi password only as a digest: the log never holds it in clear.
    StatusOutput::line(
        QStringLiteral("SETTINGS %1 time=%2 zone=%3 ssid=%4 password-sha256=%5")
            .arg(
                m_config.uid, time.isEmpty() ? QStringLiteral("-") : time,
                zone.isEmpty() ? QStringLiteral("-") : zone,
                ssid.isEmpty() ? QStringLiteral("-") : QString::fromUtf8(ssid.toHex()),
                password.isEmpty()
                    ? QStringLiteral("-")
                    : QString::fromLatin1(
                          QCryptographicHash::hash(password, QCryptographicHash::Sha256).toHex())));
}

void SimDevice::onChannelClosed(int session, int channel)
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_playback->channelClosed(session, channel);
        m_channels.erase({session, channel});
        m_needKey.erase({session, channel});
    }
    if (m_exports)
        m_exports->channelClosed(session, channel);
    StatusOutput::line(QStringLiteral("CHANNEL_CLOSE ") + where(session, channel));
}

void SimDevice::onSessionClosed(int session)
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_sessions.erase(session);
        m_playback->sessionClosed(session);
        for (auto it = m_channels.begin(); it != m_channels.end();) {
            if (it->first.first == session) {
                m_needKey.erase(it->first);
                it = m_channels.erase(it);
            } else {
                ++it;
            }
        }
    }
    if (m_exports)
        m_exports->sessionClosed(session);
    m_talk.sessionClosed(session);
    StatusOutput::line(QStringLiteral("SESSION_CLOSE %1 %2").arg(m_config.uid).arg(session));
}

void SimDevice::onTalkOpened(int session, int channel, int result)
{
    m_talk.opened(session, channel, result);
}

void SimDevice::onTalkAudio(int session, int channel, const std::vector<std::uint8_t> &data)
{
    m_talk.audio(session, channel, data);
}

void SimDevice::onTalkClosed(int session, int channel)
{
    m_talk.closed(session, channel);
}

} // namespace devsim
