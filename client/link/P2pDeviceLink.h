#pragma once

#include "link/DeviceLink.h"

// DeviceLink of P2P devices: every operation goes to the IoConnect
// singleton unchanged, so the P2P path behaves exactly as when it is called
// directly. GUI thread only.
class P2pDeviceLink final : public DeviceLink
{
public:
    static P2pDeviceLink *instance();

    int features(const Device *d) const override;
    void connectChannel(Channel *ch) override;
    void startChannel(Channel *ch) override;
    void reportChannelReady(Channel *ch) override;
    void closeChannel(Channel *ch) override;
    void closeDevice(Device *d) override;
    void reconnectNow(Device *d) override;
    int reconnectDelayMs(const Device *d) const override;
    bool waitsForUser(int code) const override;
    void startVideo(Channel *ch) override;
    void stopVideo(Channel *ch, bool restart) override;
    void changeQuality(Channel *ch, bool hd) override;
    void audioControl(Channel *ch, bool on) override;
    void audioSendControl(Channel *ch, bool on) override;
    void pause(Channel *ch, bool live) override;
    void resume(Channel *ch, bool live) override;
    void playReplay(Channel *ch, const QDateTime &start, int seekOffset, bool startFlag,
                    int recordType) override;
    void changeReplayTime(Channel *ch, int offsetSeconds) override;
    void stopReplay(Channel *ch, bool restart, const QDateTime &restartAt) override;
    void ptzControl(Channel *ch, quint8 command, quint8 param, bool shortForm) override;
    void ptzPoint(Channel *ch, int preset, bool shortForm) override;
    void ptzGoto(Channel *ch, int preset, bool shortForm) override;
    void setTime(Channel *ch, const QDateTime &dt) override;
    void setTimeZone(Channel *ch, const QString &zone) override;
    void getRecordList(Channel *ch, const QDate &day) override;
    void pauseReplay(Channel *ch) override;
    void resumeReplay(Channel *ch) override;
    bool supportsStartSeek(const Channel *ch) const override;
    int replayCaps(const Channel *ch) const override;
    void queryReplayCaps(Channel *ch) override;
    void setReplaySpeed(Channel *ch, int eighths) override;
    void stepReplay(Channel *ch, qint64 targetUtcMs) override;
    bool requestThumbnail(Channel *ch, qint64 utcMs, int maxWidth, ThumbnailDone done) override;
    void ptzCruisePath(Channel *ch, quint8 command, quint8 param, quint8 extra,
                       bool shortForm) override;
    void setWifi(Channel *ch, const QString &ssid, const QString &password) override;
    bool shutdown(int waitMs) override;
    std::unique_ptr<ExportStream> openExport(Channel *ch, qint64 fromUtcMs,
                                             qint64 toUtcMs) override;
};
