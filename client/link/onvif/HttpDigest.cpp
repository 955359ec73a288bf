#include "link/onvif/HttpDigest.h"

#include <QCryptographicHash>
#include <QHash>
#include <QRandomGenerator>

namespace {

struct RawChallenge
{
    QByteArray scheme;
    QHash<QByteArray, QByteArray> params; // names in lower case
};

bool isSpace(char c)
{
    return c == ' ' || c == '\t';
}

// Challenges of one header value: scheme, then name=value pairs (values are
// tokens or quoted strings), challenges and pairs separated by commas.
QList<RawChallenge> tokenize(const QByteArray &h)
{
    QList<RawChallenge> out;
    qsizetype i = 0;
    const qsizetype n = h.size();
    while (i < n) {
        while (i < n && (isSpace(h[i]) || h[i] == ','))
            ++i;
        const qsizetype start = i;
        while (i < n && !isSpace(h[i]) && h[i] != ',' && h[i] != '=')
            ++i;
        const QByteArray word = h.mid(start, i - start);
        while (i < n && isSpace(h[i]))
            ++i;
        if (i < n && h[i] == '=' && !out.isEmpty()) {
            ++i;
            while (i < n && isSpace(h[i]))
                ++i;
            QByteArray value;
            if (i < n && h[i] == '"') {
                for (++i; i < n && h[i] != '"'; ++i) {
                    if (h[i] == '\\' && i + 1 < n)
                        ++i;
                    value += h[i];
                }
                ++i; // the closing quote
            } else {
                while (i < n && !isSpace(h[i]) && h[i] != ',')
                    value += h[i++];
            }
            out.last().params.insert(word.toLower(), value);
        } else if (!word.isEmpty()) {
            // A new scheme; a trailing '=' run belongs to a token68 and is skipped.
            while (i < n && h[i] == '=')
                ++i;
            out.append({word.toLower(), {}});
        } else {
            ++i;
        }
    }
    return out;
}

std::optional<QCryptographicHash::Algorithm> hashOf(const QString &algorithm)
{
    const QString a = algorithm.toUpper();
    if (a == QLatin1String("MD5") || a == QLatin1String("MD5-SESS"))
        return QCryptographicHash::Md5;
    if (a == QLatin1String("SHA-256") || a == QLatin1String("SHA-256-SESS"))
        return QCryptographicHash::Sha256;
    return std::nullopt;
}

// Values go back into our Authorization header: no control characters.
bool clean(const QHash<QByteArray, QByteArray> &params)
{
    for (const QByteArray &v : params) {
        for (char ch : v) {
            if (uchar(ch) < 0x20 || ch == 0x7f)
                return false;
        }
    }
    return true;
}

QByteArray quoted(const QByteArray &value)
{
    QByteArray q = value;
    q.replace('\\', "\\\\").replace('"', "\\\"");
    return '"' + q + '"';
}

} // namespace

std::optional<HttpDigest::Challenge> HttpDigest::parse(const QList<QByteArray> &wwwAuthenticate)
{
    std::optional<Challenge> best;
    for (const QByteArray &header : wwwAuthenticate) {
        if (header.size() > MaxHeaderBytes)
            continue;
        for (const RawChallenge &raw : tokenize(header)) {
            if (raw.scheme != "digest" || !clean(raw.params))
                continue;
            Challenge c;
            c.realm = QString::fromUtf8(raw.params.value("realm"));
            c.nonce = QString::fromUtf8(raw.params.value("nonce"));
            if (raw.params.contains("opaque"))
                c.opaque = QString::fromUtf8(raw.params.value("opaque"));
            if (raw.params.contains("algorithm"))
                c.algorithm = QString::fromUtf8(raw.params.value("algorithm"));
            c.stale = raw.params.value("stale").toLower() == "true";
            const QByteArray qop = raw.params.value("qop");
            for (const QByteArray &option : qop.split(','))
                c.qopAuth = c.qopAuth || option.trimmed().toLower() == "auth";
            if (c.nonce.isEmpty() || !hashOf(c.algorithm) || (!qop.isEmpty() && !c.qopAuth))
                continue;
            const bool sha = hashOf(c.algorithm) == QCryptographicHash::Sha256;
            if (!best || (sha && hashOf(best->algorithm) != QCryptographicHash::Sha256))
                best = c;
        }
    }
    return best;
}

QByteArray HttpDigest::authorization(const Challenge &c, const QString &user,
                                     const QString &password, const QByteArray &method,
                                     const QByteArray &uri, quint32 nonceCount, QByteArray cnonce)
{
    const auto algorithm = hashOf(c.algorithm).value_or(QCryptographicHash::Md5);
    auto h = [algorithm](const QByteArray &data) {
        return QCryptographicHash::hash(data, algorithm).toHex();
    };
    if (cnonce.isEmpty())
        cnonce = QByteArray::number(QRandomGenerator::system()->generate64(), 16);
    const QByteArray nonce = c.nonce.toUtf8();
    const QByteArray nc = QByteArray::number(nonceCount, 16).rightJustified(8, '0');
    QByteArray ha1 = h(user.toUtf8() + ':' + c.realm.toUtf8() + ':' + password.toUtf8());
    if (c.algorithm.endsWith(QLatin1String("-sess"), Qt::CaseInsensitive))
        ha1 = h(ha1 + ':' + nonce + ':' + cnonce);
    const QByteArray ha2 = h(method + ':' + uri);
    const QByteArray response =
        c.qopAuth ? h(ha1 + ':' + nonce + ':' + nc + ':' + cnonce + ":auth:" + ha2)
                  : h(ha1 + ':' + nonce + ':' + ha2);
    QByteArray a = "Digest username=" + quoted(user.toUtf8()) +
                   ", realm=" + quoted(c.realm.toUtf8()) + ", nonce=" + quoted(nonce) +
                   ", uri=" + quoted(uri) + ", algorithm=" + c.algorithm.toLatin1() +
                   ", response=" + quoted(response);
    if (!c.opaque.isNull())
        a += ", opaque=" + quoted(c.opaque.toUtf8());
    if (c.qopAuth)
        a += ", qop=auth, nc=" + nc + ", cnonce=" + quoted(cnonce);
    return a;
}
