#include "Tls.h"

#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>

namespace p2p::tls {

namespace {

constexpr std::size_t kMaxPemFile = 64 * 1024;
// Every suite of TLS 1.3 that OpenSSL enables by default, AES-128 first.
constexpr char kSuites[] = "TLS_AES_128_GCM_SHA256:TLS_AES_256_GCM_SHA384:"
                           "TLS_CHACHA20_POLY1305_SHA256";
constexpr char kGroups[] = "X25519:P-256";

struct PkeyFree
{
    void operator()(EVP_PKEY *p) const { EVP_PKEY_free(p); }
};
struct X509Free
{
    void operator()(X509 *p) const { X509_free(p); }
};
struct BioFree
{
    void operator()(BIO *p) const { BIO_free(p); }
};
using Pkey = std::unique_ptr<EVP_PKEY, PkeyFree>;
using Cert = std::unique_ptr<X509, X509Free>;
using Bio = std::unique_ptr<BIO, BioFree>;

std::string sslError(const char *what)
{
    const unsigned long e = ERR_get_error();
    ERR_clear_error();
    char text[256] = {0};
    if (e)
        ERR_error_string_n(e, text, sizeof(text));
    return std::string(what) + (e ? std::string(": ") + text : std::string());
}

void setError(std::string *error, const std::string &text)
{
    if (error)
        *error = text;
}

Bio memBio(const std::string &pem)
{
    return Bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
}

std::string bioText(BIO *bio)
{
    char *data = nullptr;
    const long n = BIO_get_mem_data(bio, &data);
    return n > 0 ? std::string(data, static_cast<std::size_t>(n)) : std::string();
}

Cert readCert(const std::string &pem)
{
    Bio bio = memBio(pem);
    return Cert(bio ? PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr) : nullptr);
}

Pkey readKey(const std::string &pem)
{
    Bio bio = memBio(pem);
    return Pkey(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr);
}

bool toPem(EVP_PKEY *key, X509 *cert, Identity &out, std::string *error)
{
    Bio keyBio(BIO_new(BIO_s_mem())), certBio(BIO_new(BIO_s_mem()));
    if (!keyBio || !certBio ||
        !PEM_write_bio_PrivateKey(keyBio.get(), key, nullptr, nullptr, 0, nullptr, nullptr) ||
        !PEM_write_bio_X509(certBio.get(), cert)) {
        setError(error, sslError("PEM encoding failed"));
        return false;
    }
    out.keyPem = bioText(keyBio.get());
    out.certPem = bioText(certBio.get());
    return true;
}

std::string fingerprintOf(X509 *cert)
{
    EVP_PKEY *key = cert ? X509_get0_pubkey(cert) : nullptr;
    unsigned char *der = nullptr;
    const int n = key ? i2d_PUBKEY(key, &der) : -1;
    if (n <= 0)
        return {};
    unsigned char md[32];
    unsigned int mdLen = 0;
    const bool ok =
        EVP_Digest(der, static_cast<std::size_t>(n), md, &mdLen, EVP_sha256(), nullptr) == 1 &&
        mdLen == sizeof(md);
    OPENSSL_free(der);
    if (!ok)
        return {};
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char b : md) {
        hex += digits[b >> 4];
        hex += digits[b & 15];
    }
    return hex;
}

// A UID as a file name: letters, digits, '-' and '_' stay, the rest as %XX.
std::string fileStem(const std::string &uid)
{
    std::string out;
    for (unsigned char c : uid) {
        if (std::isalnum(c) || c == '-' || c == '_') {
            out += static_cast<char>(c);
        } else {
            char buf[4];
            std::snprintf(buf, sizeof(buf), "%%%02X", c);
            out += buf;
        }
    }
    return out;
}

bool readSmallFile(const std::filesystem::path &path, std::string &out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return out.size() <= kMaxPemFile;
}

// Creates `path` with `data` unless it exists: written under a unique name,
// then linked into place, which fails when another process was first.
bool createFileOnce(const std::filesystem::path &path, const std::string &data)
{
    namespace fs = std::filesystem;
    unsigned char tag[8];
    RAND_bytes(tag, sizeof(tag));
    std::string suffix = ".";
    for (unsigned char b : tag)
        suffix += "0123456789abcdef"[b & 15];
    const fs::path tmp = path.string() + suffix + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out)
            return false;
        std::error_code ec;
        fs::permissions(tmp, fs::perms::owner_read | fs::perms::owner_write,
                        fs::perm_options::replace, ec);
        out.write(data.data(), static_cast<std::streamsize>(data.size()));
        if (!out.flush())
            return false;
    }
    std::error_code ec;
    fs::create_hard_link(tmp, path, ec);
    fs::remove(tmp, ec);
    return true;
}

} // namespace

class Context
{
public:
    explicit Context(bool server)
    {
#ifndef ORVANE_P2P_PLAINTEXT
        ctx = SSL_CTX_new(server ? TLS_server_method() : TLS_client_method());
        if (!ctx)
            return;
        SSL_CTX_set_min_proto_version(ctx, TLS1_3_VERSION);
        SSL_CTX_set_max_proto_version(ctx, TLS1_3_VERSION);
        SSL_CTX_set_ciphersuites(ctx, kSuites);
        SSL_CTX_set1_groups_list(ctx, kGroups);
        // No resumption: every session runs a full handshake with the pinned key.
        SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_OFF);
        long options = SSL_OP_NO_TICKET;
#ifdef SSL_OP_IGNORE_UNEXPECTED_EOF
        options |= SSL_OP_IGNORE_UNEXPECTED_EOF; // the framing finds a cut message itself
#endif
        SSL_CTX_set_options(ctx, options);
        if (server)
            SSL_CTX_set_num_tickets(ctx, 0);
        SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
        // Several records per receive call.
        SSL_CTX_set_default_read_buffer_len(ctx, 64 * 1024);
        // The device's certificate is self-signed: the client checks the pin
        // after the handshake instead of a chain (TLS still verifies that the
        // device holds the certificate's key).
        SSL_CTX_set_verify(ctx, SSL_VERIFY_NONE, nullptr);
#else
        (void)server;
#endif
    }
    ~Context()
    {
#ifndef ORVANE_P2P_PLAINTEXT
        SSL_CTX_free(ctx);
#endif
    }
    Context(const Context &) = delete;
    Context &operator=(const Context &) = delete;

#ifndef ORVANE_P2P_PLAINTEXT
    SSL_CTX *ctx = nullptr;
#endif
};

bool isFingerprint(const std::string &text)
{
    if (text.size() != 64)
        return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

bool generateIdentity(const std::string &uid, Identity &out, std::string *error)
{
    Pkey key(EVP_EC_gen("P-256"));
    Cert cert(X509_new());
    if (!key || !cert) {
        setError(error, sslError("key generation failed"));
        return false;
    }
    X509_set_version(cert.get(), 2);
    unsigned char serial[16];
    RAND_bytes(serial, sizeof(serial));
    serial[0] &= 0x7f;
    BIGNUM *bn = BN_bin2bn(serial, sizeof(serial), nullptr);
    BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(cert.get()));
    BN_free(bn);
    X509_time_adj_ex(X509_getm_notBefore(cert.get()), -1, 0, nullptr);
    X509_time_adj_ex(X509_getm_notAfter(cert.get()), 365 * 50, 0, nullptr);
    X509_NAME *name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                               reinterpret_cast<const unsigned char *>(uid.c_str()), -1, -1, 0);
    X509_set_issuer_name(cert.get(), name);
    X509_set_pubkey(cert.get(), key.get());
    if (X509_sign(cert.get(), key.get(), EVP_sha256()) <= 0) {
        setError(error, sslError("certificate signing failed"));
        return false;
    }
    return toPem(key.get(), cert.get(), out, error);
}

bool loadOrCreateIdentity(const std::string &dir, const std::string &uid, Identity &out,
                          std::string *error)
{
    namespace fs = std::filesystem;
    const fs::path base(dir);
    const fs::path path = base / (fileStem(uid) + ".pem");
    std::error_code ec;
    if (!fs::exists(path, ec)) {
        Identity fresh;
        if (!generateIdentity(uid, fresh, error))
            return false;
        fs::create_directories(base, ec);
        if (!createFileOnce(path, fresh.keyPem + fresh.certPem)) {
            setError(error, "cannot write the device key into " + base.string());
            return false;
        }
    }
    // What is there now is the identity, whoever wrote it. A key that is
    // there is never replaced: every client that pinned it would refuse a new one.
    std::string pem;
    if (!readSmallFile(path, pem)) {
        setError(error, "cannot read " + path.string());
        return false;
    }
    Pkey key = readKey(pem);
    Cert cert = readCert(pem);
    if (!key || !cert || X509_check_private_key(cert.get(), key.get()) != 1) {
        ERR_clear_error();
        setError(error, path.string() + " does not hold a matching key and certificate");
        return false;
    }
    return toPem(key.get(), cert.get(), out, error);
}

std::string fingerprintOfCertificate(const std::string &certPem)
{
    Cert cert = readCert(certPem);
    ERR_clear_error();
    return fingerprintOf(cert.get());
}

std::shared_ptr<Context> clientContext()
{
    static std::mutex mutex;
    static std::shared_ptr<Context> shared;
    std::lock_guard<std::mutex> lock(mutex);
    if (!shared)
        shared = std::make_shared<Context>(false);
    return shared;
}

std::shared_ptr<Context> serverContext(const Identity &identity, std::string *error)
{
    auto context = std::make_shared<Context>(true);
#ifndef ORVANE_P2P_PLAINTEXT
    Pkey key = readKey(identity.keyPem);
    Cert cert = readCert(identity.certPem);
    SSL_CTX *c = context->ctx;
    if (!c || !key || !cert || SSL_CTX_use_certificate(c, cert.get()) != 1 ||
        SSL_CTX_use_PrivateKey(c, key.get()) != 1 || SSL_CTX_check_private_key(c) != 1) {
        setError(error, sslError("the device key or certificate is unusable"));
        return nullptr;
    }
#else
    (void)identity;
    (void)error;
#endif
    return context;
}

SSL *newSession(Context &context)
{
#ifdef ORVANE_P2P_PLAINTEXT
    (void)context;
    return nullptr;
#else
    return context.ctx ? SSL_new(context.ctx) : nullptr;
#endif
}

std::unique_ptr<Stream> makeStream(asio::ip::tcp::socket socket, Context &context)
{
    return std::make_unique<Stream>(std::move(socket), context);
}

void handshake(Stream &stream, bool server, std::function<void(const asio::error_code &)> done)
{
    stream.asyncHandshake(server, std::move(done));
}

std::string peerFingerprint(Stream &stream)
{
#ifdef ORVANE_P2P_PLAINTEXT
    (void)stream;
    return {};
#else
    Cert cert(SSL_get1_peer_certificate(stream.ssl()));
    return fingerprintOf(cert.get());
#endif
}

bool exportBinding(Stream &stream, wire::Binding &out)
{
    out.fill(0);
#ifdef ORVANE_P2P_PLAINTEXT
    (void)stream;
    return true;
#else
    return SSL_export_keying_material(stream.ssl(), out.data(), out.size(), kBindingLabel,
                                      sizeof(kBindingLabel) - 1, nullptr, 0, 0) == 1;
#endif
}

} // namespace p2p::tls
