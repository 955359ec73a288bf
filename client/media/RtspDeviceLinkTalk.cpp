// RtspDeviceLink's talk over the camera's audio back channel, and the
// alarms a closed device leaves behind.

#include "media/RtspDeviceLink.h"

#include "link/DeviceEvents.h"
#include "media/AudioSend.h"
#include "media/RtspTalk.h"
#include "model/Channel.h"
#include "model/Device.h"

#include <QCoreApplication>
#include <QDebug>
#include <QPointer>

void RtspDeviceLink::audioSendControl(Channel *ch, bool on)
{
    if (!ch)
        return;
    if (!on) {
        closeTalk(ch);
        emit m_events->audioSendControlSuccessMsg(ch);
        return;
    }
    const QString url = streamUrl(ch, true);
    if (m_closing || !has(ch->device(), Talk) || url.isEmpty()) {
        refuse(ch, &DeviceEvents::audioSendControlFailMsg);
        return;
    }
    if (m_talks.contains(ch))
        return; // opening or open
    Device *d = ch->device();
    TalkSession t;
    t.serial = ++m_serial;
    RtspTalk::Options options;
    options.shownUrl = url;
    options.user = d->storedViewAccount().toUtf8();
    options.password = d->viewPassword().toUtf8();
    options.udp = d->rtsp().transport == RtspSource::Transport::Udp;
    QPointer<RtspDeviceLink> self(this);
    const quint64 serial = t.serial;
    RtspTalk::Callbacks callbacks;
    callbacks.opened = [self, ch, serial](int) {
        QMetaObject::invokeMethod(
            self, [self, ch, serial] { self->talkOpened(ch, serial); }, Qt::QueuedConnection);
    };
    callbacks.ended = [self, ch, serial](int code, const QString &text) {
        QMetaObject::invokeMethod(
            self, [self, ch, serial, code, text] { self->talkEnded(ch, serial, code, text); },
            Qt::QueuedConnection);
    };
    t.sender = std::make_shared<RtspTalk>(options, callbacks);
    m_talks.insert(ch, t);
    qInfo().noquote() << QStringLiteral("opening the back channel of %1 channel %2: %3")
                             .arg(d->uid())
                             .arg(ch->index() + 1)
                             .arg(url);
    t.sender->start();
}

void RtspDeviceLink::talkOpened(Channel *ch, quint64 serial)
{
    const auto it = m_talks.find(ch);
    if (m_closing || it == m_talks.end() || it->serial != serial)
        return;
    it->open = true;
    ch->setTalking(true);
    if (AudioSend::instance()->talkChanged(ch, true)) {
        emit m_events->audioSendControlSuccessMsg(ch);
        return;
    }
    closeTalk(ch);
    emit m_events->audioSendControlFailMsg(
        ch, NotSupported, QCoreApplication::translate("IoConnect", "Not Found Input Device."));
}

void RtspDeviceLink::talkEnded(Channel *ch, quint64 serial, int code, const QString &text)
{
    const auto it = m_talks.find(ch);
    if (m_closing || it == m_talks.end() || it->serial != serial)
        return;
    qInfo().noquote() << QStringLiteral("%1 channel %2: back channel ended (%3)")
                             .arg(ch->device()->uid())
                             .arg(ch->index() + 1)
                             .arg(text);
    closeTalk(ch);
    emit m_events->audioSendControlFailMsg(ch, code, text);
}

bool RtspDeviceLink::talk(Channel *ch, const QByteArray &pcm)
{
    const auto it = m_talks.constFind(ch);
    if (it == m_talks.cend())
        return false;
    if (it->open)
        it->sender->push(pcm);
    return true;
}

void RtspDeviceLink::closeTalk(Channel *ch)
{
    const auto it = m_talks.find(ch);
    if (it == m_talks.end())
        return;
    const bool wasTalking = it->open;
    it->sender->requestStop();
    m_stoppingTalks.push_back(std::move(it->sender));
    m_talks.erase(it);
    if (wasTalking) {
        ch->setTalking(false);
        AudioSend::instance()->talkChanged(ch, false);
    }
    sweep();
}

void RtspDeviceLink::stopTalks()
{
    for (auto it = m_talks.begin(); it != m_talks.end(); ++it) {
        it->sender->requestStop();
        if (it->open)
            it.key()->setTalking(false);
        m_stoppingTalks.push_back(std::move(it->sender));
    }
    m_talks.clear();
}

void RtspDeviceLink::clearAlarms(Channel *ch)
{
    const int alarms = ch->alarms();
    for (int kind = 1; kind < 31; ++kind) {
        if (alarms & (1 << kind)) {
            ch->setAlarm(kind, false);
            emit m_events->alarmMsg(ch, kind, false);
        }
    }
}
