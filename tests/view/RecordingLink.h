#pragma once

#include "model/Channel.h"
#include "model/Device.h"
#include "view/ViewLink.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

// A ViewLink that only writes down what it was asked, one line per call:
// "<operation> <uid>/<channel index>[ <argument>]", e.g. "stopVideo CAM/0 0".
class RecordingLink : public ViewLink
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
    void closeDeviceOf(Channel *ch) override { add("closeDeviceOf", ch); }
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
    void seekReplay(Channel *ch, int offsetSeconds) override
    {
        m_calls->append(QStringLiteral("seekReplay ") + name(ch) + QLatin1Char(' ') +
                        QString::number(offsetSeconds));
    }

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
