#pragma once

#include "link/LinkTaskCore.h"

#include <QObject>
#include <QString>

#include <functional>

class Channel;
class Dev;
class ReplyWatch;
class ProgressEvent_audioSendControl;
class ProgressEvent_audioSendServiceStart;
class ProgressEvent_audioSendSpeechStart;

// Talk (microphone audio to the device) of a channel, in steps that each run
// as a task: the speaker-start message names a free session channel, the
// talk server starts on it, the speech buffer is cleaned, and then the talk
// handler starts capturing. Stopping sends speaker-stop for the channel that
// was started and stops the talk server. Every step is under the channel's
// IO time-out; a step whose channel was closed meanwhile undoes itself.
//
// Threads: GUI thread only.
class TalkControl : public QObject
{
    Q_OBJECT

public:
    TalkControl(LinkTaskCorePtr core, const Dev *dev, ReplyWatch *replies,
                QObject *parent = nullptr);

    // Starts (true) or stops (false) capturing and sending microphone audio;
    // a start that returns false (no microphone) fails the talk with
    // "Not Found Input Device." and closes it on the device.
    void setHandler(std::function<bool(Channel *, bool on)> handler);

    // Starts or stops talk on ch; nothing while the link is closing.
    void request(Channel *ch, bool on);
    // Forgets the channel's talk at once (its AV channel or session is
    // closing): the state is cleared and the handler stops capturing.
    void drop(Channel *ch);

    void onControl(const ProgressEvent_audioSendControl &e);
    void onServer(const ProgressEvent_audioSendServiceStart &e);
    void onSpeech(const ProgressEvent_audioSendSpeechStart &e);

signals:
    void succeeded(Channel *ch);
    void failed(Channel *ch, int code, const QString &text);

private:
    // Ends the talk stream: the handler stops and the talk server is stopped.
    void stopStream(Channel *ch);
    void stopServer(const void *device, int talkAvIndex);
    void fail(Channel *ch, int code);

    LinkTaskCorePtr m_core;
    const Dev *m_dev;
    ReplyWatch *m_replies;
    std::function<bool(Channel *, bool)> m_handler;
};
