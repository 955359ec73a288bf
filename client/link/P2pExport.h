#pragma once

#include "link/ChannelRef.h"
#include "link/ExportStream.h"
#include "link/IoCtrl.h"

#include <QObject>

#include <memory>

class Channel;
class QTimer;

// The export of one P2P channel (IOCTRL_EXPORT_START .. IOCTRL_EXPORT_END):
// asks the device for the range on the channel's live AV channel, opens the
// AV channel its answer names on a worker thread of its own, takes every
// frame there as the library announces it (no polling) and hands a copy of
// just its bytes to Callbacks::frame. The export is complete when END came
// and the frames taken match the counts END reports; it is incomplete when
// they still do not match EndWaitMs after the last frame.
//
// A device that has nothing recorded in the range ends the export at once as
// complete (no frames), with why = "nothing recorded".
//
// Threads: GUI thread, except the frame callback (the export's worker).
class P2pExport final : public QObject, public ExportStream
{
    Q_OBJECT

public:
    static constexpr int ReplyWaitMs = 10000; // for IOCTRL_EXPORT_RESP
    static constexpr int EndWaitMs = 3000;    // for the last frames after END
    static constexpr int OpenTimeoutSec = 5;  // avClientStart2

    P2pExport(Channel *ch, qint64 fromUtcMs, qint64 toUtcMs, QObject *parent = nullptr);
    ~P2pExport() override;

    void start(Callbacks callbacks) override;
    void cancel() override;

    quint32 requestId() const { return m_requestId; }

    // IOCTRL_EXPORT_RESP and IOCTRL_EXPORT_END of ch go to the running export
    // they name (P2pPlayback's export sink).
    static void route(Channel *ch, unsigned int type, const QByteArray &data);

private:
    struct Receiver;
    enum class State { Idle, Asking, Receiving, Done };

    void replied(const IoCtrl::ExportReply &reply);
    void ended(const IoCtrl::ExportEnd &end);
    // From the worker (through the mailbox).
    void receiveFailed(int code);
    void checkComplete();
    void graceExpired();
    // Stops the worker's callbacks and closes the AV channel.
    void stopReceiver();
    void finish(bool ok, const QString &why);

    const ChannelRef m_ref;
    const int m_channel;
    const qint64 m_from;
    const qint64 m_to;
    const quint32 m_requestId;
    Callbacks m_callbacks;
    State m_state = State::Idle;
    std::shared_ptr<Receiver> m_receiver;
    QTimer *m_replyTimer;
    QTimer *m_graceTimer;
    bool m_endArrived = false;
    bool m_stopUnanswered = false; // a STOP also goes out while the answer is awaited
    IoCtrl::ExportEnd m_end;
    int m_failure = 0;
    quint64 m_framesAtGrace = 0;
};
