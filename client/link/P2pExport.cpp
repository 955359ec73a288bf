#include "link/P2pExport.h"

#include "diagnostics/Checks.h"
#include "link/ChannelBufferItem.h"
#include "link/ErrorText.h"
#include "link/GuiMailbox.h"
#include "link/IoConnect.h"
#include "link/P2pPlayback.h"
#include "link/SdkApi.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"

#include <QHash>
#include <QPointer>
#include <QTimer>
#include <QtDebug>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Video frames taken before the waiting sound is looked at again, so that
// sound and pictures reach the consumer roughly in the order they were sent.
constexpr int VideoBatch = 8;
// The longest a stop waits for a frame callback in progress.
constexpr int CallbackWaitMs = 5000;

// GUI thread: the running exports by request id.
QHash<quint32, P2pExport *> &running()
{
    static QHash<quint32, P2pExport *> exports;
    return exports;
}

// GUI thread: carries the workers' news to the GUI thread. Shared and never
// deleted, so that an export may end (and be deleted) while it delivers.
GuiMailbox *mailbox()
{
    static GuiMailbox *shared = new GuiMailbox(IoConnect::instance());
    return shared;
}

quint32 nextRequestId()
{
    static std::atomic<quint32> next{1};
    return next.fetch_add(1);
}

// A frame as received, in a buffer of just its size.
ChannelBufferItem *copyFrame(const uint8_t *data, int size, const uint8_t *info,
                             unsigned int frameNumber)
{
    auto *item = new ChannelBufferItem();
    item->data = new (std::nothrow) uint8_t[size_t(std::max(1, size))];
    if (!item->data) {
        delete item;
        return nullptr;
    }
    if (size > 0)
        std::memcpy(item->data, data, size_t(size));
    item->size = size;
    item->capacity = size;
    item->frameNumber = frameNumber;
    item->setFrameInfo(info);
    return item;
}

} // namespace

// What the export's worker thread shares with the GUI thread. The worker
// owns a reference, so it stays valid for as long as the thread runs.
struct P2pExport::Receiver
{
    std::mutex lock;
    std::condition_variable wake;                         // the worker waits on it
    std::condition_variable idle;                         // the GUI thread waits on it
    bool stopped = false;                                 // lock
    bool announced = false;                               // lock: frames may wait
    bool inCallback = false;                              // lock
    GuiMailbox *mailbox = nullptr;                        // lock; null once stopped
    std::function<void(ChannelBufferItem *, bool)> frame; // called with inCallback set

    int sessionId = -1;
    quint8 avChannel = 0;
    QByteArray account;
    QByteArray password;
    // Flow control: the channel's live AV index the acknowledgements go on.
    int liveAv = -1;
    int channelIndex = 0;
    quint32 requestId = 0;
    quint32 acked = 0; // worker thread
    std::atomic<quint64> video{0};
    std::atomic<quint64> audio{0};
    std::atomic<bool> endArrived{false};
    std::atomic<bool> checkPosted{false};
    P2pExport *owner = nullptr; // touched only by functions run on the GUI thread

    // Worker thread.
    void run(const std::shared_ptr<Receiver> &self);
    int drain(int avIndex, std::vector<uint8_t> &videoBuffer);
    bool deliver(ChannelBufferItem *item, bool isVideo);
    // Tells the device how many frames arrived (IOCTRL_EXPORT_ACK), every
    // IoCtrl::ExportAckEvery frames, so that it sends within its window.
    void acknowledge(bool force);
    void post(std::function<void(P2pExport *)> fn);
    static void onReady(int avIndex, int kind, void *context);
};

void P2pExport::Receiver::onReady(int, int, void *context)
{
    auto *r = static_cast<Receiver *>(context);
    {
        std::lock_guard<std::mutex> guard(r->lock);
        r->announced = true;
    }
    r->wake.notify_all();
}

void P2pExport::Receiver::post(std::function<void(P2pExport *)> fn)
{
    std::lock_guard<std::mutex> guard(lock);
    if (stopped || !mailbox)
        return;
    // None is posted after the stop; what still waits is purged when the
    // export goes.
    mailbox->post(this, [this, fn = std::move(fn)] {
        if (owner)
            fn(owner);
    });
}

bool P2pExport::Receiver::deliver(ChannelBufferItem *item, bool isVideo)
{
    {
        std::lock_guard<std::mutex> guard(lock);
        if (stopped) {
            delete item;
            return false;
        }
        inCallback = true;
    }
    frame(item, isVideo);
    (isVideo ? video : audio).fetch_add(1);
    {
        std::lock_guard<std::mutex> guard(lock);
        inCallback = false;
    }
    idle.notify_all();
    return true;
}

void P2pExport::Receiver::acknowledge(bool force)
{
    const quint32 received = quint32(video.load() + audio.load());
    if (liveAv < 0 || (!force && received - acked < quint32(IoCtrl::ExportAckEvery)))
        return;
    acked = received;
    const QByteArray ack = IoCtrl::exportAck(channelIndex, requestId, received);
    sdkApi().sendIoCtrl(liveAv, IOCTRL_EXPORT_ACK, ack.constData(), int(ack.size()));
}

int P2pExport::Receiver::drain(int avIndex, std::vector<uint8_t> &videoBuffer)
{
    const SdkApi &api = sdkApi();
    uint8_t audioBuffer[ChannelBufferItem::AudioCapacity];
    for (;;) {
        bool any = false;
        while (api.checkAudio(avIndex) > 0) {
            uint8_t info[ChannelBufferItem::FrameInfoSize] = {};
            unsigned int number = 0;
            const int r = api.recvAudio(avIndex, reinterpret_cast<char *>(audioBuffer),
                                        int(sizeof audioBuffer), reinterpret_cast<char *>(info),
                                        int(sizeof info), &number);
            if (r == AV_ER_DATA_NOREADY)
                break;
            if (r < 0)
                return r;
            ChannelBufferItem *item = copyFrame(audioBuffer, r, info, number);
            if (!item)
                return AV_ER_MEM_INSUFF;
            item->audioLength = r;
            if (!deliver(item, false))
                return 0;
            acknowledge(false);
            any = true;
        }
        for (int n = 0; n < VideoBatch; ++n) {
            uint8_t info[ChannelBufferItem::FrameInfoSize] = {};
            int actual = 0;
            int expected = 0;
            int infoSize = 0;
            unsigned int number = 0;
            const int r =
                api.recvFrame(avIndex, reinterpret_cast<char *>(videoBuffer.data()),
                              int(videoBuffer.size()), &actual, &expected,
                              reinterpret_cast<char *>(info), int(sizeof info), &infoSize, &number);
            if (r == AV_ER_DATA_NOREADY)
                break;
            if (r < 0)
                return r;
            ChannelBufferItem *item = copyFrame(videoBuffer.data(), r, info, number);
            if (!item)
                return AV_ER_MEM_INSUFF;
            if (!deliver(item, true))
                return 0;
            acknowledge(false);
            any = true;
        }
        if (!any)
            return 0;
        if (endArrived.load() && !checkPosted.exchange(true))
            post([](P2pExport *e) { e->checkComplete(); });
    }
}

void P2pExport::Receiver::run(const std::shared_ptr<Receiver> &self)
{
    const SdkApi &api = sdkApi();
    unsigned int serviceType = 0;
    int resend = 0;
    const int av = api.clientStart(sessionId, account.constData(), password.constData(),
                                   OpenTimeoutSec, &serviceType, avChannel, &resend);
    if (av < 0) {
        post([av](P2pExport *e) { e->receiveFailed(av); });
        return;
    }
    {
        std::lock_guard<std::mutex> guard(lock);
        announced = true; // what arrived before the registration
    }
    acknowledge(true); // the device sends within its window from now on
    if (api.setFrameReady(av, &Receiver::onReady, self.get()) < 0)
        post([](P2pExport *e) { e->receiveFailed(AV_ER_INVALID_ARG); });
    std::vector<uint8_t> videoBuffer(size_t(ChannelBufferItem::VideoCapacity));
    for (;;) {
        {
            std::unique_lock<std::mutex> guard(lock);
            wake.wait(guard, [this] { return stopped || announced; });
            if (stopped)
                break;
            announced = false;
        }
        const int code = drain(av, videoBuffer);
        if (code < 0) {
            post([code](P2pExport *e) { e->receiveFailed(code); });
            break;
        }
        if (endArrived.load() && !checkPosted.exchange(true))
            post([](P2pExport *e) { e->checkComplete(); });
    }
    api.setFrameReady(av, nullptr, nullptr);
    api.clientStop(av);
    api.clientExit(sessionId, avChannel);
}

// ---------------------------------------------------------------------------

P2pExport::P2pExport(Channel *ch, qint64 fromUtcMs, qint64 toUtcMs, QObject *parent)
    : QObject(parent)
    , m_ref(ChannelRef::of(ch))
    , m_channel(ch ? ch->index() : -1)
    , m_from(fromUtcMs)
    , m_to(toUtcMs)
    , m_requestId(nextRequestId())
    , m_receiver(std::make_shared<Receiver>())
    , m_replyTimer(new QTimer(this))
    , m_graceTimer(new QTimer(this))
{
    m_receiver->owner = this;
    m_receiver->mailbox = mailbox();
    m_replyTimer->setSingleShot(true);
    m_replyTimer->setInterval(ReplyWaitMs);
    connect(m_replyTimer, &QTimer::timeout, this, [this] {
        m_stopUnanswered = true; // in case it still starts
        finish(false, tr("The device did not answer the export request."));
    });
    m_graceTimer->setSingleShot(true);
    m_graceTimer->setInterval(EndWaitMs);
    connect(m_graceTimer, &QTimer::timeout, this, &P2pExport::graceExpired);
}

P2pExport::~P2pExport()
{
    cancel();
    m_receiver->owner = nullptr;
    mailbox()->purge(m_receiver.get());
}

void P2pExport::start(Callbacks callbacks)
{
    ORVANE_ASSERT_GUI_THREAD();
    ORVANE_CHECK(m_state == State::Idle, return );
    m_callbacks = std::move(callbacks);
    m_receiver->frame = m_callbacks.frame;
    static const bool routed = [] {
        P2pPlayback::instance()->setExportSink(&P2pExport::route);
        return true;
    }();
    (void)routed;
    Channel *ch = m_ref.resolve(Dev::instance());
    if (!ch || ch->device()->sessionId() < 0 || ch->avIndex(true) < 0) {
        m_state = State::Asking;
        QTimer::singleShot(0, this, [this] { finish(false, tr("The channel is not connected.")); });
        return;
    }
    m_state = State::Asking;
    running().insert(m_requestId, this);
    m_replyTimer->start();
    QPointer<P2pExport> self(this);
    IoConnect::instance()->sendIoCtrl(
        ch, IOCTRL_EXPORT_START, IoCtrl::exportStart(m_channel, m_from, m_to, m_requestId),
        [self](Channel *, int result) {
            if (self && result < 0)
                self->finish(false,
                             tr("The export request could not be sent: %1").arg(errorText(result)));
        });
}

void P2pExport::route(Channel *ch, unsigned int type, const QByteArray &data)
{
    if (!ch)
        return;
    if (type == IOCTRL_EXPORT_RESP) {
        const std::optional<IoCtrl::ExportReply> r = IoCtrl::parseExportReply(data, ch->index());
        P2pExport *e = r ? running().value(r->requestId) : nullptr;
        if (e && e->m_ref == ChannelRef::of(ch))
            e->replied(*r);
    } else if (type == IOCTRL_EXPORT_END) {
        const std::optional<IoCtrl::ExportEnd> r = IoCtrl::parseExportEnd(data, ch->index());
        P2pExport *e = r ? running().value(r->requestId) : nullptr;
        if (e && e->m_ref == ChannelRef::of(ch))
            e->ended(*r);
    }
}

void P2pExport::replied(const IoCtrl::ExportReply &reply)
{
    if (m_state != State::Asking)
        return;
    m_replyTimer->stop();
    switch (reply.result) {
    case 0:
        break;
    case 1:
        finish(false, tr("The device exports this channel already."));
        return;
    case 2:
        finish(true, QStringLiteral("nothing recorded"));
        return;
    default:
        finish(false, tr("The device refused the export."));
        return;
    }
    Channel *ch = m_ref.resolve(Dev::instance());
    if (!ch || reply.avChannel < 0 || reply.avChannel > 255 || ch->device()->sessionId() < 0) {
        finish(false, tr("The channel is not connected."));
        return;
    }
    m_state = State::Receiving;
    Receiver &r = *m_receiver;
    r.sessionId = ch->device()->sessionId();
    r.avChannel = quint8(reply.avChannel);
    r.account = ch->device()->viewAccount().toLocal8Bit();
    r.password = ch->device()->viewPassword().toLocal8Bit();
    r.liveAv = ch->avIndex(true);
    r.channelIndex = m_channel;
    r.requestId = m_requestId;
    std::shared_ptr<Receiver> receiver = m_receiver;
    // The thread keeps its receiver; a stop only tells it to end.
    std::thread([receiver] { receiver->run(receiver); }).detach();
}

void P2pExport::ended(const IoCtrl::ExportEnd &end)
{
    if (m_state != State::Receiving && m_state != State::Asking)
        return;
    m_replyTimer->stop();
    if (end.result != 0) {
        finish(false, end.result == 1 ? tr("The device cancelled the export.")
                                      : tr("The device could not export the range."));
        return;
    }
    m_end = end;
    m_endArrived = true;
    m_receiver->endArrived.store(true);
    m_framesAtGrace = m_receiver->video.load() + m_receiver->audio.load();
    m_graceTimer->start();
    checkComplete(); // last: the consumer may delete this export when it finishes
}

void P2pExport::checkComplete()
{
    m_receiver->checkPosted.store(false);
    if (m_state != State::Receiving || !m_endArrived)
        return;
    const quint64 video = m_receiver->video.load();
    const quint64 audio = m_receiver->audio.load();
    if (video == m_end.videoFrames && audio == m_end.audioFrames)
        finish(true, QString());
    else if (video > m_end.videoFrames || audio > m_end.audioFrames)
        finish(false, tr("More frames arrived than the device sent."));
}

void P2pExport::receiveFailed(int code)
{
    if (m_state == State::Done)
        return;
    m_failure = code;
    if (m_endArrived) {
        checkComplete(); // the grace time decides
        return;
    }
    finish(false, tr("The export stream failed: %1").arg(errorText(code)));
}

void P2pExport::graceExpired()
{
    if (m_state != State::Receiving)
        return;
    const quint64 frames = m_receiver->video.load() + m_receiver->audio.load();
    if (frames != m_framesAtGrace && m_failure == 0) {
        m_framesAtGrace = frames; // still coming
        m_graceTimer->start();
        return;
    }
    qWarning().nospace() << "export " << m_requestId << " incomplete: " << m_receiver->video.load()
                         << "/" << m_end.videoFrames << " video, " << m_receiver->audio.load()
                         << "/" << m_end.audioFrames << " audio frames";
    finish(false, QStringLiteral("incomplete"));
}

void P2pExport::stopReceiver()
{
    Receiver &r = *m_receiver;
    std::unique_lock<std::mutex> guard(r.lock);
    r.stopped = true;
    r.mailbox = nullptr;
    r.wake.notify_all();
    if (r.idle.wait_for(guard, std::chrono::milliseconds(CallbackWaitMs),
                        [&r] { return !r.inCallback; }))
        r.frame = nullptr;
    else
        qWarning() << "export" << m_requestId << "frame callback still busy at its stop";
}

void P2pExport::finish(bool ok, const QString &why)
{
    if (m_state == State::Done)
        return;
    const bool stopDevice =
        (m_state == State::Receiving || (m_state == State::Asking && m_stopUnanswered)) &&
        !m_endArrived;
    m_state = State::Done;
    m_replyTimer->stop();
    m_graceTimer->stop();
    running().remove(m_requestId);
    stopReceiver();
    if (stopDevice) {
        if (Channel *ch = m_ref.resolve(Dev::instance()))
            IoConnect::instance()->sendIoCtrl(ch, IOCTRL_EXPORT_STOP,
                                              IoCtrl::exportStop(m_channel, m_requestId),
                                              [](Channel *, int) {});
    }
    const auto finished = std::move(m_callbacks.finished);
    m_callbacks = Callbacks();
    if (finished)
        finished(ok, why);
}

void P2pExport::cancel()
{
    ORVANE_ASSERT_GUI_THREAD();
    if (m_state == State::Done || m_state == State::Idle) {
        m_state = State::Done;
        stopReceiver();
        return;
    }
    m_callbacks.finished = nullptr;
    m_stopUnanswered = true;
    finish(false, QString());
}
