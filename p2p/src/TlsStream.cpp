#include "Tls.h"

#ifndef ORVANE_P2P_PLAINTEXT
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#endif

namespace p2p::tls {

#ifdef ORVANE_P2P_PLAINTEXT

// The benchmark's baseline: the same calls straight on the socket.

Stream::Stream(asio::ip::tcp::socket socket, Context &context)
    : socket_(std::move(socket))
{
    (void)context;
}

Stream::~Stream() = default;

void Stream::asyncHandshake(bool, Done done)
{
    asio::post(socket_.get_executor(), [done = std::move(done)] { done({}); });
}

void Stream::asyncReadSome(void *data, std::size_t size, IoHandler handler)
{
    socket_.async_read_some(asio::buffer(data, size), std::move(handler));
}

void Stream::asyncWrite(std::vector<asio::const_buffer> buffers, IoHandler handler)
{
    auto held = std::make_shared<std::vector<asio::const_buffer>>(std::move(buffers));
    asio::async_write(socket_, *held,
                      [held, handler = std::move(handler)](const asio::error_code &ec,
                                                           std::size_t n) { handler(ec, n); });
}

void Stream::handshake(bool, asio::error_code &ec)
{
    ec = {};
}

std::size_t Stream::readSome(void *data, std::size_t size, asio::error_code &ec)
{
    return socket_.read_some(asio::buffer(data, size), ec);
}

void Stream::write(const void *data, std::size_t size, asio::error_code &ec)
{
    asio::write(socket_, asio::buffer(data, size), ec);
}

#else

namespace {

// A BIO on the asio socket (non-blocking): OpenSSL reads and writes records
// with the socket's own calls, so no signal is raised on a closed peer and
// the platform's socket API stays behind asio.
// An error compared by value and category identity: no call into the
// category object, which a process out of descriptors may not be able to
// check (the BIO runs exactly then, when the peers hang up).
template <typename E> bool isError(const asio::error_code &ec, E e)
{
    const asio::error_code known = asio::error::make_error_code(e);
    return ec.value() == known.value() && &ec.category() == &known.category();
}

struct SocketBio
{
    asio::ip::tcp::socket *socket;
    asio::error_code *lastError;
};

int bioWrite(BIO *bio, const char *data, int size)
{
    auto *b = static_cast<SocketBio *>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    asio::error_code ec;
    const std::size_t n =
        b->socket->send(asio::buffer(data, static_cast<std::size_t>(size)), 0, ec);
    if (isError(ec, asio::error::would_block) || isError(ec, asio::error::try_again)) {
        BIO_set_retry_write(bio);
        return -1;
    }
    if (ec) {
        *b->lastError = ec;
        return -1;
    }
    return static_cast<int>(n);
}

int bioRead(BIO *bio, char *data, int size)
{
    auto *b = static_cast<SocketBio *>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    asio::error_code ec;
    const std::size_t n =
        b->socket->receive(asio::buffer(data, static_cast<std::size_t>(size)), 0, ec);
    if (isError(ec, asio::error::would_block) || isError(ec, asio::error::try_again)) {
        BIO_set_retry_read(bio);
        return -1;
    }
    if (isError(ec, asio::error::eof))
        return 0;
    if (ec) {
        *b->lastError = ec;
        return -1;
    }
    return static_cast<int>(n);
}

long bioCtrl(BIO *, int cmd, long, void *)
{
    return cmd == BIO_CTRL_FLUSH ? 1 : 0;
}

int bioDestroy(BIO *bio)
{
    delete static_cast<SocketBio *>(BIO_get_data(bio));
    BIO_set_data(bio, nullptr);
    return 1;
}

BIO_METHOD *socketMethod()
{
    static BIO_METHOD *method = [] {
        BIO_METHOD *m =
            BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "orvane asio socket");
        BIO_meth_set_write(m, bioWrite);
        BIO_meth_set_read(m, bioRead);
        BIO_meth_set_ctrl(m, bioCtrl);
        BIO_meth_set_destroy(m, bioDestroy);
        return m;
    }();
    return method;
}

} // namespace

Stream::Stream(asio::ip::tcp::socket socket, Context &context)
    : socket_(std::move(socket))
    , ssl_(newSession(context))
{
    asio::error_code ec;
    socket_.non_blocking(true, ec);
    if (!ssl_)
        return;
    BIO *bio = BIO_new(socketMethod());
    if (!bio) {
        SSL_free(ssl_);
        ssl_ = nullptr;
        return;
    }
    BIO_set_data(bio, new SocketBio{&socket_, &socketError_});
    BIO_set_init(bio, 1);
    SSL_set_bio(ssl_, bio, bio);
    SSL_set_read_ahead(ssl_, 1);
}

Stream::~Stream()
{
    SSL_free(ssl_);
}

Stream::Step Stream::step(int result, asio::error_code &ec)
{
    switch (SSL_get_error(ssl_, result)) {
    case SSL_ERROR_WANT_READ:
        return Step::WaitRead;
    case SSL_ERROR_WANT_WRITE:
        return Step::WaitWrite;
    case SSL_ERROR_ZERO_RETURN:
        ec = asio::error::eof;
        break;
    case SSL_ERROR_SYSCALL:
        ec = socketError_ ? socketError_ : asio::error_code(asio::error::eof);
        break;
    default: {
        const unsigned long e = ERR_get_error();
        ec = e ? asio::error_code(static_cast<int>(e), asio::error::get_ssl_category())
               : asio::error_code(asio::error::fault);
        break;
    }
    }
    ERR_clear_error();
    socketError_ = {};
    return Step::Failed;
}

void Stream::wait(Step s, std::function<void(const asio::error_code &)> then)
{
    socket_.async_wait(s == Step::WaitRead ? asio::socket_base::wait_read
                                           : asio::socket_base::wait_write,
                       std::move(then));
}

void Stream::asyncHandshake(bool server, Done done)
{
    if (!ssl_) {
        asio::post(socket_.get_executor(),
                   [done = std::move(done)] { done(asio::error::no_memory); });
        return;
    }
    server ? SSL_set_accept_state(ssl_) : SSL_set_connect_state(ssl_);
    continueHandshake(std::make_shared<Done>(std::move(done)));
}

void Stream::continueHandshake(std::shared_ptr<Done> done)
{
    ERR_clear_error();
    const int r = SSL_do_handshake(ssl_);
    asio::error_code ec;
    const Step s = r == 1 ? Step::Done : step(r, ec);
    if (s == Step::Done || s == Step::Failed) {
        asio::post(socket_.get_executor(), [done, ec] { (*done)(ec); });
        return;
    }
    // Handlers of an aborted wait never touch the stream: it may be gone.
    wait(s, [this, done](const asio::error_code &ec) {
        if (ec)
            (*done)(ec);
        else
            continueHandshake(done);
    });
}

void Stream::asyncReadSome(void *data, std::size_t size, IoHandler handler)
{
    continueRead(data, size, std::make_shared<IoHandler>(std::move(handler)));
}

void Stream::continueRead(void *data, std::size_t size, std::shared_ptr<IoHandler> handler)
{
    ERR_clear_error();
    std::size_t total = 0;
    asio::error_code ec;
    Step s = Step::Done;
    while (total < size) {
        std::size_t n = 0;
        if (SSL_read_ex(ssl_, static_cast<char *>(data) + total, size - total, &n) != 1) {
            s = step(0, ec);
            break;
        }
        total += n;
    }
    if (total > 0 || s == Step::Failed) {
        // What arrived goes up first; a failure shows again on the next read.
        if (total > 0)
            ec = {};
        asio::post(socket_.get_executor(), [handler, ec, total] { (*handler)(ec, total); });
        return;
    }
    wait(s, [this, data, size, handler](const asio::error_code &ec) {
        if (ec)
            (*handler)(ec, 0);
        else
            continueRead(data, size, handler);
    });
}

void Stream::asyncWrite(std::vector<asio::const_buffer> buffers, IoHandler handler)
{
    continueWrite(std::make_shared<std::vector<asio::const_buffer>>(std::move(buffers)), 0, 0, 0,
                  std::make_shared<IoHandler>(std::move(handler)));
}

void Stream::continueWrite(std::shared_ptr<std::vector<asio::const_buffer>> buffers,
                           std::size_t index, std::size_t offset, std::size_t total,
                           std::shared_ptr<IoHandler> handler)
{
    ERR_clear_error();
    asio::error_code ec;
    while (index < buffers->size()) {
        const asio::const_buffer &b = (*buffers)[index];
        if (offset >= b.size()) {
            ++index;
            offset = 0;
            continue;
        }
        std::size_t n = 0;
        if (SSL_write_ex(ssl_, static_cast<const char *>(b.data()) + offset, b.size() - offset,
                         &n) == 1) {
            offset += n;
            total += n;
            continue;
        }
        const Step s = step(0, ec);
        if (s == Step::Failed)
            break;
        wait(s, [this, buffers, index, offset, total, handler](const asio::error_code &ec) {
            if (ec)
                (*handler)(ec, total);
            else
                continueWrite(buffers, index, offset, total, handler);
        });
        return;
    }
    asio::post(socket_.get_executor(), [handler, ec, total] { (*handler)(ec, total); });
}

// The blocking forms switch the socket to blocking use for their duration:
// OpenSSL then waits inside the socket calls.
struct Stream::Blocking
{
    explicit Blocking(asio::ip::tcp::socket &s)
        : socket(s)
    {
        asio::error_code ec;
        socket.non_blocking(false, ec);
    }
    ~Blocking()
    {
        asio::error_code ec;
        socket.non_blocking(true, ec);
    }
    asio::ip::tcp::socket &socket;
};

void Stream::handshake(bool server, asio::error_code &ec)
{
    ec = {};
    if (!ssl_) {
        ec = asio::error::no_memory;
        return;
    }
    Blocking blocking(socket_);
    server ? SSL_set_accept_state(ssl_) : SSL_set_connect_state(ssl_);
    for (;;) {
        ERR_clear_error();
        const int r = SSL_do_handshake(ssl_);
        if (r == 1 || step(r, ec) == Step::Failed)
            return;
    }
}

std::size_t Stream::readSome(void *data, std::size_t size, asio::error_code &ec)
{
    ec = {};
    Blocking blocking(socket_);
    for (;;) {
        ERR_clear_error();
        std::size_t n = 0;
        if (SSL_read_ex(ssl_, data, size, &n) == 1)
            return n;
        if (step(0, ec) == Step::Failed)
            return 0;
    }
}

void Stream::write(const void *data, std::size_t size, asio::error_code &ec)
{
    ec = {};
    Blocking blocking(socket_);
    std::size_t done = 0;
    while (done < size) {
        ERR_clear_error();
        std::size_t n = 0;
        if (SSL_write_ex(ssl_, static_cast<const char *>(data) + done, size - done, &n) == 1)
            done += n;
        else if (step(0, ec) == Step::Failed)
            return;
    }
}

#endif

} // namespace p2p::tls
