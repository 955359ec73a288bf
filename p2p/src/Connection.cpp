#include "Connection.h"

namespace p2p {

namespace {
constexpr std::size_t kReadChunk = 256 * 1024;
constexpr std::size_t kCoalesceBytes = 8 * 1024;
constexpr std::chrono::milliseconds kTick{250};
constexpr std::chrono::milliseconds kByeGrace{500};
constexpr std::int64_t kDeadlineStep = 1024 * 1024; // bytes that add one base time
std::atomic<std::int64_t> messageDeadlineMs{Connection::kMessageDeadline.count()};

std::string endpointText(const asio::ip::tcp::socket &s)
{
    asio::error_code ec;
    const auto ep = s.remote_endpoint(ec);
    if (ec)
        return {};
    return ep.address().to_string() + ":" + std::to_string(ep.port());
}
} // namespace

Connection::Connection(std::shared_ptr<tls::Stream> stream)
    : stream_(std::move(stream))
    , timer_(stream_->get_executor())
    , peer_(endpointText(tls::socketOf(*stream_)))
    , readBuffer_(kReadChunk)
{
    asio::error_code ec;
    tls::socketOf(*stream_).set_option(asio::ip::tcp::no_delay(true), ec);
}

Connection::~Connection() = default;

void Connection::setMessageDeadline(std::chrono::milliseconds base)
{
    messageDeadlineMs = base.count();
}

void Connection::start(MessageFn onMessage, CloseFn onClose, bool keepAlive)
{
    onMessage_ = std::move(onMessage);
    onClose_ = std::move(onClose);
    keepAlive_ = keepAlive;
    lastRx_ = lastTx_ = std::chrono::steady_clock::now();
    doRead();
    armTimer();
}

bool Connection::send(wire::OutMessage &&m, std::size_t limit)
{
    bool kick = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (sendClosed_ || closing_)
            return false;
        if (frozen_.load())
            return true; // swallowed, as if lost on the way
        if (queuedBytes_ > 0 && queuedBytes_ + m.size() > limit)
            return false;
        queuedBytes_ += m.size();
        queue_.push_back(std::move(m));
        if (!writing_) {
            writing_ = true;
            kick = true;
        }
    }
    if (kick)
        asio::post(stream_->get_executor(), [self = shared_from_this()] { self->doWrite(); });
    return true;
}

bool Connection::sendRaw(std::vector<std::uint8_t> bytes)
{
    wire::OutMessage m;
    m.body = std::move(bytes);
    return send(std::move(m));
}

std::size_t Connection::queuedBytes() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return queuedBytes_;
}

void Connection::close(CloseReason reason)
{
    asio::post(stream_->get_executor(),
               [self = shared_from_this(), reason] { self->doClose(reason); });
}

void Connection::closeWithBye()
{
    bool kick = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (sendClosed_ || closing_)
            return;
        if (!frozen_.load()) {
            auto bye = wire::makeMessage(wire::MsgType::Bye, 0, 0, {0});
            queuedBytes_ += bye.size();
            queue_.push_back(std::move(bye));
        }
        closing_ = true;
        if (!writing_) {
            writing_ = true;
            kick = true;
        }
    }
    asio::post(stream_->get_executor(), [self = shared_from_this(), kick] {
        self->closeDeadline_ = std::chrono::steady_clock::now() + kByeGrace;
        self->armTimer();
        if (kick)
            self->doWrite();
    });
}

void Connection::setFrozen(bool frozen)
{
    frozen_ = frozen;
    if (frozen) {
        std::lock_guard<std::mutex> lock(mutex_);
        // Queued messages stay lost; the one being written finishes.
        for (const auto &m : queue_)
            queuedBytes_ -= m.size();
        queue_.clear();
    }
}

void Connection::doRead()
{
    stream_->asyncReadSome(
        readBuffer_.data(), readBuffer_.size(),
        [self = shared_from_this()](asio::error_code ec, std::size_t n) {
            if (self->closed_)
                return;
            if (ec) {
                self->doClose(ec == asio::error::eof ? CloseReason::RemoteEof
                                                     : CloseReason::IoError);
                return;
            }
            self->lastRx_ = std::chrono::steady_clock::now();
            if (self->frozen_) {
                self->doRead();
                return;
            }
            bool bye = false;
            const bool ok =
                self->reader_.feed(self->readBuffer_.data(), n, [&self, &bye](wire::Message &&m) {
                    if (self->closed_)
                        return false;
                    switch (m.header.type) {
                    case wire::MsgType::Ping:
                        return true;
                    case wire::MsgType::Bye:
                        bye = true;
                        return false;
                    default:
                        if (self->onMessage_)
                            self->onMessage_(std::move(m));
                        return !self->closed_;
                    }
                });
            if (self->closed_)
                return;
            const auto &r = self->reader_;
            if (r.midMessage() && (!self->partial_ || self->partialOf_ != r.completed())) {
                self->partialSince_ = self->lastRx_; // this read began the message
                self->partialOf_ = r.completed();
            }
            self->partial_ = r.midMessage();
            if (bye) {
                self->doClose(CloseReason::RemoteBye);
                return;
            }
            if (!ok) {
                self->doClose(CloseReason::ProtocolError);
                return;
            }
            self->doRead();
        });
}

void Connection::doWrite()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_ || queue_.empty()) {
            writing_ = false;
            if (closing_ && !closed_) {
                asio::post(stream_->get_executor(),
                           [self = shared_from_this()] { self->doClose(CloseReason::Local); });
            }
            return;
        }
        inflight_ = std::move(queue_.front());
        queue_.pop_front();
    }
    // TLS writes at least one record per buffer: a small message goes out as one.
    if (!inflight_.body.empty() && inflight_.body.size() <= kCoalesceBytes) {
        inflight_.head.insert(inflight_.head.end(), inflight_.body.begin(), inflight_.body.end());
        inflight_.body.clear();
    }
    std::vector<asio::const_buffer> bufs = {asio::buffer(inflight_.head),
                                            asio::buffer(inflight_.body)};
    stream_->asyncWrite(std::move(bufs),
                        [self = shared_from_this()](asio::error_code ec, std::size_t) {
                            {
                                std::lock_guard<std::mutex> lock(self->mutex_);
                                self->queuedBytes_ -= self->inflight_.size();
                                self->inflight_ = {};
                            }
                            if (self->closed_)
                                return;
                            if (ec) {
                                self->doClose(CloseReason::IoError);
                                return;
                            }
                            self->lastTx_ = std::chrono::steady_clock::now();
                            self->doWrite();
                        });
}

void Connection::doClose(CloseReason reason)
{
    if (closed_.exchange(true))
        return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        sendClosed_ = true;
        for (const auto &m : queue_)
            queuedBytes_ -= m.size();
        queue_.clear();
    }
    asio::error_code ec;
    timer_.cancel();
    auto &socket = tls::socketOf(*stream_);
    socket.shutdown(asio::ip::tcp::socket::shutdown_both, ec);
    socket.close(ec);
    CloseFn fn = std::move(onClose_);
    onClose_ = nullptr;
    onMessage_ = nullptr;
    if (fn)
        fn(reason);
}

void Connection::armTimer()
{
    if (closed_)
        return;
    timer_.expires_after(kTick);
    timer_.async_wait([self = shared_from_this()](asio::error_code ec) {
        if (!ec && !self->closed_)
            self->onTick();
    });
}

void Connection::onTick()
{
    const auto now = std::chrono::steady_clock::now();
    bool closing = false;
    bool idle = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing = closing_;
        idle = !writing_ && queue_.empty();
    }
    if (closing && now >= closeDeadline_) {
        doClose(CloseReason::Local);
        return;
    }
    const std::int64_t base = messageDeadlineMs;
    const auto deadline = std::chrono::milliseconds(
        base + base * static_cast<std::int64_t>(reader_.announced()) / kDeadlineStep);
    if (partial_ && !frozen_ && now - partialSince_ > deadline) {
        doClose(CloseReason::Timeout);
        return;
    }
    if (keepAlive_ && !frozen_) {
        if (now - lastRx_ > kDeadAfter) {
            doClose(CloseReason::Timeout);
            return;
        }
        if (idle && !closing && now - lastTx_ >= kPingInterval) {
            lastTx_ = now;
            send(wire::makeMessage(wire::MsgType::Ping, 0, 0, {}));
        }
    }
    armTimer();
}

} // namespace p2p
