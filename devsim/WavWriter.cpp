#include "WavWriter.h"

#include <QSaveFile>

namespace devsim {

namespace {

void putU32(QByteArray &out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.append(static_cast<char>((v >> (8 * i)) & 0xFF));
}

void putU16(QByteArray &out, std::uint16_t v)
{
    out.append(static_cast<char>(v & 0xFF));
    out.append(static_cast<char>(v >> 8));
}

} // namespace

WavWriter::WavWriter(int sampleRate)
    : m_sampleRate(sampleRate)
{}

void WavWriter::append(const std::vector<std::int16_t> &samples)
{
    m_samples.insert(m_samples.end(), samples.begin(), samples.end());
}

QByteArray WavWriter::toBytes() const
{
    const auto dataBytes = static_cast<std::uint32_t>(m_samples.size() * 2);
    QByteArray out;
    out.reserve(static_cast<int>(44 + dataBytes));
    out.append("RIFF", 4);
    putU32(out, 36 + dataBytes);
    out.append("WAVE", 4);
    out.append("fmt ", 4);
    putU32(out, 16);
    putU16(out, 1); // PCM
    putU16(out, 1); // mono
    putU32(out, static_cast<std::uint32_t>(m_sampleRate));
    putU32(out, static_cast<std::uint32_t>(m_sampleRate * 2));
    putU16(out, 2);
    putU16(out, 16);
    out.append("data", 4);
    putU32(out, dataBytes);
    for (std::int16_t s : m_samples)
        putU16(out, static_cast<std::uint16_t>(s));
    return out;
}

bool WavWriter::save(const QString &path, QString *error) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    const QByteArray bytes = toBytes();
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace devsim
