#include "StatusOutput.h"

#include <cstdio>
#include <mutex>

namespace devsim {

namespace {
std::mutex g_outputLock;
} // namespace

void StatusOutput::line(const QString &text)
{
    const QByteArray bytes = text.toUtf8() + '\n';
    std::lock_guard<std::mutex> lock(g_outputLock);
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

QString StatusOutput::hex(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return QStringLiteral("-");
    return QString::fromLatin1(bytes.toHex());
}

} // namespace devsim
