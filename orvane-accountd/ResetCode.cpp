#include "ResetCode.h"

#include "Secrets.h"

namespace accountd::ResetCode {

namespace {

const char alphabet[] = "0123456789ABCDEFGHJKMNPQRSTVWXYZ";
constexpr int codeLength = 16; // 16 x 5 bits
constexpr int groupLength = 4;

} // namespace

QString create()
{
    const QByteArray bytes = Secrets::randomBytes(codeLength * 5 / 8);
    if (bytes.isEmpty())
        return QString();
    QString code;
    quint32 bits = 0;
    int available = 0;
    for (const char byte : bytes) {
        bits = (bits << 8) | quint8(byte);
        available += 8;
        while (available >= 5) {
            available -= 5;
            if (!code.isEmpty() && (code.size() + 1) % (groupLength + 1) == 0)
                code += QLatin1Char('-');
            code += QLatin1Char(alphabet[(bits >> available) & 31]);
        }
    }
    return code;
}

QString digest(const QString &text)
{
    if (text.size() > maxTextLength)
        return QString();
    QString canonical;
    for (QChar c : text) {
        c = c.toUpper();
        if (c == QLatin1Char('-') || c == QLatin1Char(' '))
            continue;
        if (c == QLatin1Char('O'))
            c = QLatin1Char('0');
        else if (c == QLatin1Char('I') || c == QLatin1Char('L'))
            c = QLatin1Char('1');
        if (!QLatin1String(alphabet).contains(c))
            return QString();
        canonical += c;
    }
    if (canonical.size() != codeLength)
        return QString();
    return Secrets::sha256Hex(canonical);
}

} // namespace accountd::ResetCode
