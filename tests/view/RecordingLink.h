#pragma once

#include "model/Channel.h"
#include "model/Device.h"
#include "link/DeviceLink.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

// A DeviceLink that only writes down what it was asked, one line per call:
// "<operation> <uid>/<channel index>[ <argument>]", e.g. "stopVideo CAM/0 0".
// It offers every feature.
class RecordingLink : public DeviceLink
{
public:
    explicit RecordingLink(QStringList *calls)
        : m_calls(calls)
    {}

    static QString name(const Channel *ch)
    {
        return ch ? ch->device()->uid() + QLatin1Char('/') + QString::number(ch->index())
                  : QStringLiteral("null");
    }

    void connectChannel(Channel *ch) override { add("connectChannel", ch); }
    void startChannel(Channel *ch) override { add("startChannel", ch); }
    void reportChannelReady(Channel *ch) override { add("reportChannelReady", ch); }
    void closeChannel(Channel *ch) override { add("closeChannel", ch); }
    void closeDevice(Device *d) override
    {
        m_calls->append(QStringLiteral("closeDevice ") + (d ? d->uid() : QStringLiteral("null")));
    }
    void reconnectNow(Device *d) override
    {
        m_calls->append(QStringLiteral("reconnectNow ") + (d ? d->uid() : QStringLiteral("null")));
    }
    void startVideo(Channel *ch) override { add("startVideo", ch); }
    void stopVideo(Channel *ch, bool restart) override { add("stopVideo", ch, restart); }
    void changeQuality(Channel *ch, bool hd) override { add("changeQuality", ch, hd); }
    void audioControl(Channel *ch, bool on) override { add("audioControl", ch, on); }
    void audioSendControl(Channel *ch, bool on) override { add("audioSendControl", ch, on); }
    void pause(Channel *ch, bool live) override { add("pause", ch, live); }
    void resume(Channel *ch, bool live) override { add("resume", ch, live); }
    void playReplay(Channel *ch, const QDateTime &start, int, bool, int) override
    {
        m_calls->append(QStringLiteral("playReplay ") + name(ch) + QLatin1Char(' ') +
                        start.toString(Qt::ISODate));
    }
    void stopReplay(Channel *ch, bool restart, const QDateTime &) override
    {
        add("stopReplay", ch, restart);
    }
    void changeReplayTime(Channel *ch, int offsetSeconds) override
    {
        m_calls->append(QStringLiteral("changeReplayTime ") + name(ch) + QLatin1Char(' ') +
                        QString::number(offsetSeconds));
    }
    int features(const Device *) const override { return 0xff; }
    // What reconnectDelayMs answers for every device.
    inline static int nextTryMs = -1;
    int reconnectDelayMs(const Device *) const override { return nextTryMs; }
    // The failure code that waits for the user.
    static constexpr int RefusedCode = -20009;
    bool waitsForUser(int code) const override { return code == RefusedCode; }
    void getRecordList(Channel *ch, const QDate &day) override
    {
        m_calls->append(QStringLiteral("getRecordList ") + name(ch) + QLatin1Char(' ') +
                        day.toString(Qt::ISODate));
    }
    void pauseReplay(Channel *ch) override { add("pauseReplay", ch); }
    void resumeReplay(Channel *ch) override { add("resumeReplay", ch); }
    // Like a device that cannot start a playback inside a recording.
    bool supportsStartSeek(const Channel *) const override { return false; }
    void ptzControl(Channel *ch, quint8, quint8, bool) override { add("ptzControl", ch); }
    void ptzPoint(Channel *ch, int, bool) override { add("ptzPoint", ch); }
    void ptzGoto(Channel *ch, int, bool) override { add("ptzGoto", ch); }
    void ptzCruisePath(Channel *ch, quint8, quint8, quint8, bool) override
    {
        add("ptzCruisePath", ch);
    }
    void setTime(Channel *ch, const QDateTime &) override { add("setTime", ch); }
    void setTimeZone(Channel *ch, const QString &) override { add("setTimeZone", ch); }
    void setWifi(Channel *ch, const QString &, const QString &) override { add("setWifi", ch); }
    bool shutdown(int) override { return true; }
    int replayCaps(const Channel *) const override { return caps; }
    void setReplaySpeed(Channel *ch, int eighths) override
    {
        m_calls->append(QStringLiteral("setReplaySpeed ") + name(ch) + QLatin1Char(' ') +
                        QString::number(eighths));
    }
    void stepReplay(Channel *ch, qint64 targetUtcMs) override
    {
        m_calls->append(QStringLiteral("stepReplay ") + name(ch) + QLatin1Char(' ') +
                        QString::number(targetUtcMs));
    }
    // What replayCaps answers for every channel.
    inline static int caps = 0x7f;

private:
    void add(const char *op, Channel *ch)
    {
        m_calls->append(QLatin1String(op) + QLatin1Char(' ') + name(ch));
    }
    void add(const char *op, Channel *ch, bool arg)
    {
        m_calls->append(QLatin1String(op) + QLatin1Char(' ') + name(ch) +
                        (arg ? QStringLiteral(" 1") : QStringLiteral(" 0")));
    }

    QStringList *m_calls;
};
