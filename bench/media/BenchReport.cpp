#include "BenchReport.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <cstdio>

namespace {

// Rounded to a thousandth, so that the JSON stays readable.
QJsonValue number(double v)
{
    return std::round(v * 1000.0) / 1000.0;
}

QJsonValue optionalNumber(const std::optional<double> &v)
{
    return v ? number(*v) : QJsonValue(QJsonValue::Null);
}

QString sizeText(const QSize &s)
{
    return QStringLiteral("%1x%2").arg(s.width()).arg(s.height());
}

QString figuresText(const std::optional<DecodeAlone::Figures> &f)
{
    if (!f)
        return QStringLiteral("failed");
    return QStringLiteral("%1 / %2")
        .arg(f->cpuMsPerFrame, 0, 'f', 3)
        .arg(f->wallMsPerFrame, 0, 'f', 3);
}

} // namespace

BenchReport::BenchReport(bool json, const Machine &machine)
    : m_json(json)
    , m_machine(machine)
{}

void BenchReport::begin()
{
    if (m_json)
        return;
    std::printf("media pipeline: devsim H.264, one shared stream, %d fps, moving pattern; "
                "%d ms settle + %d ms measured per run\n",
                MediaRun::SourceFps, MediaRun::SettleMs, MediaRun::MeasureMs);
    std::printf("machine: %d cores, %s; Qt platform %s\n\n", m_machine.cores,
                qPrintable(m_machine.cpu), qPrintable(m_machine.platform));
    std::printf("%-10s %3s %-4s %7s %7s %9s %9s %10s %6s %7s %10s %7s %7s\n", "size", "N", "draw",
                "fps/ch", "min fps", "delay p50", "delay p95", "cpu ms/frm", "ratio", "vs Ndec",
                "RSS MiB/ch", "dropped", "devsim%");
    std::fflush(stdout);
}

void BenchReport::addRun(const RunResult &r, std::optional<double> singleCpuMs,
                         std::optional<double> nDecodersCpuMs)
{
    std::optional<double> ratio;
    if (r.ok && singleCpuMs && *singleCpuMs > 0)
        ratio = r.cpuMsPerFrame / *singleCpuMs;
    std::optional<double> ratioN;
    if (r.ok && nDecodersCpuMs && *nDecodersCpuMs > 0)
        ratioN = r.cpuMsPerFrame / *nDecodersCpuMs;

    QJsonObject o;
    o[QStringLiteral("width")] = r.spec.size.width();
    o[QStringLiteral("height")] = r.spec.size.height();
    o[QStringLiteral("n")] = r.spec.channels;
    o[QStringLiteral("drawn")] = r.spec.draw;
    o[QStringLiteral("failed")] = !r.ok;
    if (r.ok) {
        o[QStringLiteral("fps_mean")] = number(r.fpsMean);
        o[QStringLiteral("fps_min")] = number(r.fpsMin);
        o[QStringLiteral("delay_p50_ms")] = number(r.delayP50Ms);
        o[QStringLiteral("delay_p95_ms")] = number(r.delayP95Ms);
        o[QStringLiteral("cpu_ms_per_frame")] = number(r.cpuMsPerFrame);
        o[QStringLiteral("rss_mib_per_channel")] = number(r.rssMiBPerChannel);
        o[QStringLiteral("dropped")] = r.dropped;
        o[QStringLiteral("ratio")] = optionalNumber(ratio);
        o[QStringLiteral("ratio_n_decoders")] = optionalNumber(ratioN);
        o[QStringLiteral("n_decoders_cpu_ms")] = optionalNumber(nDecodersCpuMs);
        o[QStringLiteral("channels_started")] = r.channelsStarted;
        o[QStringLiteral("devsim_cpu_percent")] =
            r.devsimCpuPercent >= 0 ? number(r.devsimCpuPercent) : QJsonValue(QJsonValue::Null);
    } else {
        o[QStringLiteral("error")] = r.error;
    }
    m_runs.append(o);
    if (m_json)
        return;

    const QString size = sizeText(r.spec.size);
    const char *draw = r.spec.draw ? "yes" : "no";
    if (!r.ok) {
        std::printf("%-10s %3d %-4s failed: %s\n", qPrintable(size), r.spec.channels, draw,
                    qPrintable(r.error));
    } else {
        const auto text = [](std::optional<double> v) {
            return v ? QString::number(*v, 'f', 2) : QStringLiteral("-");
        };
        std::printf("%-10s %3d %-4s %7.1f %7.1f %9.1f %9.1f %10.3f %6s %7s %10.2f %7lld %7.0f\n",
                    qPrintable(size), r.spec.channels, draw, r.fpsMean, r.fpsMin, r.delayP50Ms,
                    r.delayP95Ms, r.cpuMsPerFrame, qPrintable(text(ratio)),
                    qPrintable(text(ratioN)), r.rssMiBPerChannel, qlonglong(r.dropped),
                    r.devsimCpuPercent);
    }
    std::fflush(stdout);
}

void BenchReport::addDecodeAlone(const DecodeAloneResult &d)
{
    m_decodeAloneResults.append(d);
    auto cpu = [](const std::optional<DecodeAlone::Figures> &f) {
        return f ? number(f->cpuMsPerFrame) : QJsonValue(QJsonValue::Null);
    };
    auto wall = [](const std::optional<DecodeAlone::Figures> &f) {
        return f ? number(f->wallMsPerFrame) : QJsonValue(QJsonValue::Null);
    };
    QJsonObject o;
    o[QStringLiteral("width")] = d.size.width();
    o[QStringLiteral("height")] = d.size.height();
    o[QStringLiteral("frames")] = d.frames;
    o[QStringLiteral("single_cpu_ms")] = cpu(d.single);
    o[QStringLiteral("single_wall_ms")] = wall(d.single);
    o[QStringLiteral("frame_threads_cpu_ms")] = cpu(d.frameThreads);
    o[QStringLiteral("frame_threads_wall_ms")] = wall(d.frameThreads);
    o[QStringLiteral("slice_threads_cpu_ms")] = cpu(d.sliceThreads);
    o[QStringLiteral("slice_threads_wall_ms")] = wall(d.sliceThreads);
    m_decodeAlone.append(o);
}

void BenchReport::printDecodeAloneTable() const
{
    std::printf("\nlibavcodec H.264 alone over channel 0's recorded bitstream, ms per frame "
                "(cpu / wall):\n");
    std::printf("%-10s %6s %22s %22s %22s\n", "size", "frames", "1 thread, low delay",
                "frame threads x2", "slice threads x2");
    for (const DecodeAloneResult &d : m_decodeAloneResults) {
        std::printf("%-10s %6d %22s %22s %22s\n", qPrintable(sizeText(d.size)), d.frames,
                    qPrintable(figuresText(d.single)), qPrintable(figuresText(d.frameThreads)),
                    qPrintable(figuresText(d.sliceThreads)));
    }
}

void BenchReport::end(double elapsedSeconds, bool drawingMeasured)
{
    if (m_json) {
        QJsonObject machine;
        machine[QStringLiteral("cores")] = m_machine.cores;
        machine[QStringLiteral("cpu")] = m_machine.cpu;
        machine[QStringLiteral("platform")] = m_machine.platform;
        QJsonObject root;
        root[QStringLiteral("machine")] = machine;
        root[QStringLiteral("source_fps")] = MediaRun::SourceFps;
        root[QStringLiteral("measure_ms")] = MediaRun::MeasureMs;
        root[QStringLiteral("runs")] = m_runs;
        root[QStringLiteral("decode_alone")] = m_decodeAlone;
        root[QStringLiteral("elapsed_s")] = number(elapsedSeconds);
        const QByteArray text = QJsonDocument(root).toJson(QJsonDocument::Indented);
        std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
        std::fflush(stdout);
        return;
    }
    if (!drawingMeasured)
        std::printf("(no display: drawing not measured; run under xvfb-run -a)\n");
    printDecodeAloneTable();
    std::printf(
        "\nsource rate %d fps per channel. cpu ms/frm: the whole client process (receive, P2P\n"
        "library, decode, hand-over, drawing) per delivered picture; ratio: that over\n"
        "libavcodec alone with one thread for the same size; vs Ndec: over libavcodec alone\n"
        "with N decoders fed the same frames in turn (the caches shared as in the client).\n"
        "delay: devsim's send time to the\n"
        "picture on the GUI thread. RSS: resident growth over the run per channel. devsim%%:\n"
        "the simulator's CPU in the window, percent of one core.\n"
        "benchmark took %.0f s\n",
        MediaRun::SourceFps, elapsedSeconds);
    std::fflush(stdout);
}
