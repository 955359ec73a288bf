#include "view/CellInfo.h"

#include "media/H26xDecoder.h"

namespace {

// Events per second (per `unit` events: 125 bytes = 1 kbit) between two running totals.
std::optional<double> perSecond(quint64 now, quint64 before, qint64 ms, double unit = 1.0)
{
    if (now < before || ms <= 0)
        return std::nullopt;
    return double(now - before) * 1000.0 / double(ms) / unit;
}

QString number(const std::optional<double> &value, int decimals)
{
    return value ? QString::number(*value, 'f', decimals) : QStringLiteral("-");
}

} // namespace

void CellInfo::add(const Sample &sample)
{
    if (!m_samples.empty() && sample.ms <= m_samples.back().ms)
        return;
    m_samples.push_back(sample);
    // Keep the newest sample at least WindowMs before this one, none older.
    while (m_samples.size() > 2 && m_samples[1].ms <= sample.ms - WindowMs)
        m_samples.pop_front();
}

CellInfo::Rates CellInfo::rates() const
{
    if (m_samples.size() < 2)
        return {};
    const Sample &a = m_samples.front();
    const Sample &b = m_samples.back();
    const qint64 ms = b.ms - a.ms;
    return {perSecond(b.framesReceived, a.framesReceived, ms),
            perSecond(b.framesShown, a.framesShown, ms),
            perSecond(b.bytesReceived, a.bytesReceived, ms, 125.0)};
}

QString CellInfo::codecName(int codecId)
{
    switch (codecId) {
    case 0:
        return QStringLiteral("-");
    case H26xDecoder::FrameCodecH264:
        return QStringLiteral("H.264");
    case H26xDecoder::FrameCodecH265:
        return QStringLiteral("H.265");
    default:
        return QString::number(codecId);
    }
}

QString CellInfo::text(const Facts &facts)
{
    const QString size = facts.resolution.isEmpty() ? QStringLiteral("-")
                                                    : QStringLiteral("%1\u00d7%2")
                                                          .arg(facts.resolution.width())
                                                          .arg(facts.resolution.height());
    const QString first = QStringLiteral("%1  %2  %3")
                              .arg(size, codecName(facts.codecId),
                                   facts.hd ? QStringLiteral("HD") : QStringLiteral("SD"));
    const QString second =
        tr("%1 fps received, %2 fps shown")
            .arg(number(facts.rates.receivedFps, 1), number(facts.rates.shownFps, 1));
    const QString third = tr("%1 kbit/s").arg(number(facts.rates.kbitPerSecond, 0));
    return first + QLatin1Char('\n') + second + QLatin1Char('\n') + third;
}
