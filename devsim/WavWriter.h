#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

namespace devsim {

// Collects 16-bit mono PCM and writes it as a RIFF WAVE file. Owned by one thread.
class WavWriter
{
public:
    explicit WavWriter(int sampleRate = 8000);

    void append(const std::vector<std::int16_t> &samples);
    void clear() { m_samples.clear(); }
    std::size_t sampleCount() const { return m_samples.size(); }

    // The whole file: 44-byte header and the samples, little-endian.
    QByteArray toBytes() const;

    // Writes the file atomically (a temporary file renamed into place).
    bool save(const QString &path, QString *error) const;

private:
    int m_sampleRate;
    std::vector<std::int16_t> m_samples;
};

} // namespace devsim
