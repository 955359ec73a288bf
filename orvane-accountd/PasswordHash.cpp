#include "PasswordHash.h"

#include "Secrets.h"

#include <QByteArray>
#include <QStringList>

#include <openssl/evp.h>

namespace accountd::PasswordHash {

namespace {

constexpr int defaultLogN = 15; // N = 32768, 32 MiB with r = 8
constexpr int defaultR = 8;
constexpr int defaultP = 1;
constexpr int saltBytes = 16;
constexpr int hashBytes = 32;
constexpr uint64_t maxMemory = 256ull * 1024 * 1024;

QByteArray derive(const QString &password, const QByteArray &salt, int logN, int r, int p,
                  int length)
{
    const QByteArray pass = password.toUtf8();
    QByteArray key(length, Qt::Uninitialized);
    const int ok =
        EVP_PBE_scrypt(pass.constData(), size_t(pass.size()),
                       reinterpret_cast<const unsigned char *>(salt.constData()),
                       size_t(salt.size()), uint64_t(1) << logN, uint64_t(r), uint64_t(p),
                       maxMemory, reinterpret_cast<unsigned char *>(key.data()), size_t(length));
    return ok == 1 ? key : QByteArray();
}

} // namespace

QString create(const QString &password)
{
    const QByteArray salt = Secrets::randomBytes(saltBytes);
    if (salt.isEmpty())
        return QString();
    const QByteArray hash = derive(password, salt, defaultLogN, defaultR, defaultP, hashBytes);
    if (hash.isEmpty())
        return QString();
    return QStringLiteral("scrypt$%1$%2$%3$%4$%5")
        .arg(defaultLogN)
        .arg(defaultR)
        .arg(defaultP)
        .arg(QString::fromLatin1(salt.toBase64()), QString::fromLatin1(hash.toBase64()));
}

bool verify(const QString &password, const QString &stored)
{
    const QStringList fields = stored.split(QLatin1Char('$'));
    if (fields.size() != 6 || fields[0] != QLatin1String("scrypt"))
        return false;
    bool okN = false, okR = false, okP = false;
    const int logN = fields[1].toInt(&okN);
    const int r = fields[2].toInt(&okR);
    const int p = fields[3].toInt(&okP);
    if (!okN || !okR || !okP || logN < 10 || logN > 20 || r < 1 || r > 32 || p < 1 || p > 16)
        return false;
    const QByteArray salt = QByteArray::fromBase64(fields[4].toLatin1());
    const QByteArray expected = QByteArray::fromBase64(fields[5].toLatin1());
    if (salt.size() < 8 || expected.size() < 16 || expected.size() > 64)
        return false;
    const QByteArray actual = derive(password, salt, logN, r, p, int(expected.size()));
    return !actual.isEmpty() && Secrets::equalConstantTime(actual, expected);
}

void spendVerificationTime(const QString &password)
{
    static const QByteArray salt(saltBytes, '\x5a');
    derive(password, salt, defaultLogN, defaultR, defaultP, hashBytes);
}

} // namespace accountd::PasswordHash
