// Media pipeline benchmark: N devsim channels at 25 fps through the receive
// steps, the decoder and the hand-over to the view cells, with and without
// drawing, at 640x360 (N = 1, 4, 16, 36, 64), 1280x720 and 1920x1080 (N = 1,
// 4, 16). Per run it prints the delivered frame rate per channel, the delay
// from devsim's send to the picture on the GUI thread, CPU time per frame of
// the whole client against a bare libavcodec decoder over the same
// bitstream (measured in the same run of the program), resident memory per
// channel and the frames the decoder dropped.
//
//   xvfb-run -a build/bench/media/bench_media        (drawing needs a display)
//   bench_media --sizes 360,720 --n 1,16 --no-draw --json

#include "BenchReport.h"
#include "DecodeAlone.h"
#include "MediaRun.h"
#include "ProcessStats.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QHash>
#include <QMap>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cstdio>
#include <optional>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

constexpr int DecodeMinPasses = 3;
constexpr int DecodeMinWallMs = 1500;

struct Options
{
    QList<QSize> sizes{{640, 360}, {1280, 720}, {1920, 1080}};
    QList<int> channels; // empty: the default list of each size
    bool draw = true;
    bool json = false;
};

QList<int> defaultChannels(const QSize &size)
{
    if (size.height() <= 360)
        return {1, 4, 16, 36, 64};
    return {1, 4, 16};
}

// "360" (16:9 of that height) or "WxH".
std::optional<QSize> parseSize(const QString &text)
{
    static const QRegularExpression re(QStringLiteral("^(?:(\\d+)[xX])?(\\d+)$"));
    const QRegularExpressionMatch m = re.match(text.trimmed());
    if (!m.hasMatch())
        return std::nullopt;
    const int h = m.captured(2).toInt();
    const int w = m.captured(1).isEmpty() ? (h * 16 / 9 + 1) / 2 * 2 : m.captured(1).toInt();
    if (w < 16 || h < 16 || w > 4096 || h > 4096 || w % 2 || h % 2)
        return std::nullopt;
    return QSize(w, h);
}

std::optional<Options> parseOptions(const QStringList &args, QString *error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Media pipeline benchmark."));
    parser.addHelpOption();
    const QCommandLineOption sizes(QStringLiteral("sizes"),
                                   QStringLiteral("Picture sizes: 360,720,1080 or WxH list."),
                                   QStringLiteral("list"));
    const QCommandLineOption channels(QStringLiteral("n"),
                                      QStringLiteral("Channel counts for every size, 1 to 64."),
                                      QStringLiteral("list"));
    const QCommandLineOption noDraw(QStringLiteral("no-draw"),
                                    QStringLiteral("Only the runs without view cells."));
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("One JSON object on stdout, nothing else."));
    parser.addOptions({sizes, channels, noDraw, json});
    parser.process(args); // exits on --help and on unknown options

    Options o;
    o.draw = !parser.isSet(noDraw);
    o.json = parser.isSet(json);
    if (parser.isSet(sizes)) {
        o.sizes.clear();
        for (const QString &s : parser.value(sizes).split(QLatin1Char(','))) {
            const std::optional<QSize> size = parseSize(s);
            if (!size) {
                *error = QStringLiteral("bad size: ") + s;
                return std::nullopt;
            }
            o.sizes.append(*size);
        }
    }
    if (parser.isSet(channels)) {
        for (const QString &s : parser.value(channels).split(QLatin1Char(','))) {
            bool ok = false;
            const int n = s.trimmed().toInt(&ok);
            if (!ok || n < 1 || n > 64) {
                *error = QStringLiteral("bad channel count: ") + s;
                return std::nullopt;
            }
            o.channels.append(n);
        }
    }
    return o;
}

BenchReport::DecodeAloneResult measureDecodeAlone(const QSize &size,
                                                  const QList<QByteArray> &bitstream)
{
    const DecodeAlone decoder(bitstream);
    BenchReport::DecodeAloneResult d;
    d.size = size;
    d.frames = decoder.frameCount();
    auto measure = [&](DecodeAlone::Threads threads, const char *what) {
        QString error;
        auto f = decoder.measure(threads, DecodeMinPasses, DecodeMinWallMs, &error);
        if (!f) {
            std::fprintf(stderr, "libavcodec alone %dx%d, %s: %s\n", size.width(), size.height(),
                         what, qPrintable(error));
        }
        return f;
    };
    d.single = measure(DecodeAlone::Threads::Single, "one thread");
    d.frameThreads = measure(DecodeAlone::Threads::FrameThreads, "frame threads");
    d.sliceThreads = measure(DecodeAlone::Threads::SliceThreads, "slice threads");
    return d;
}

// In JSON mode stdout carries the JSON object alone: whatever a library
// prints meanwhile goes to stderr.
class StdoutToStderr
{
public:
    explicit StdoutToStderr(bool on)
    {
#ifdef Q_OS_UNIX
        if (on) {
            std::fflush(stdout);
            m_saved = dup(STDOUT_FILENO);
            if (m_saved >= 0)
                dup2(STDERR_FILENO, STDOUT_FILENO);
        }
#else
        Q_UNUSED(on);
#endif
    }
    StdoutToStderr(const StdoutToStderr &) = delete;
    StdoutToStderr &operator=(const StdoutToStderr &) = delete;
    ~StdoutToStderr()
    {
        restore();
    }

    void restore()
    {
#ifdef Q_OS_UNIX
        if (m_saved >= 0) {
            std::fflush(stdout);
            dup2(m_saved, STDOUT_FILENO);
            close(m_saved);
            m_saved = -1;
        }
#endif
    }

private:
    int m_saved = -1;
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QString error;
    const std::optional<Options> options = parseOptions(app.arguments(), &error);
    if (!options) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 2;
    }
    StdoutToStderr quiet(options->json);

    const QString platform = QGuiApplication::platformName();
    const bool canDraw =
        platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
    const quint16 port = quint16(QRandomGenerator::global()->bounded(40000, 60000));
    BenchReport report(options->json,
                       {ProcessStats::cpuCores(), ProcessStats::cpuModel(), platform});
    QElapsedTimer elapsed;
    elapsed.start();
    report.begin();
    if (canDraw && options->draw)
        MediaRun::warmUpDrawing();

    for (const QSize &size : options->sizes) {
        std::optional<double> singleCpuMs; // libavcodec alone for this size
        QList<QByteArray> bitstream;       // channel 0's, for the n-decoder yardstick
        QHash<int, std::optional<double>> nDecodersCpuMs;
        const QList<int> counts =
            options->channels.isEmpty() ? defaultChannels(size) : options->channels;
        for (int n : counts) {
            for (bool draw : {false, true}) {
                if (draw && (!canDraw || !options->draw))
                    continue;
                const bool needBitstream = !singleCpuMs;
                RunResult r = MediaRun({size, n, draw}, port).run(needBitstream);
                if (r.ok && needBitstream && !r.bitstream.isEmpty()) {
                    const BenchReport::DecodeAloneResult d = measureDecodeAlone(size, r.bitstream);
                    report.addDecodeAlone(d);
                    if (d.single)
                        singleCpuMs = d.single->cpuMsPerFrame;
                    bitstream = r.bitstream;
                }
                if (r.ok && !bitstream.isEmpty() && !nDecodersCpuMs.contains(n)) {
                    QString error;
                    const auto f = DecodeAlone(bitstream).measureInterleaved(
                        n, DecodeMinPasses, DecodeMinWallMs, &error);
                    if (!f)
                        std::fprintf(stderr, "libavcodec alone, %d decoders: %s\n", n,
                                     qPrintable(error));
                    nDecodersCpuMs.insert(n, f ? std::optional<double>(f->cpuMsPerFrame)
                                               : std::nullopt);
                }
                if (!r.ok)
                    std::fprintf(stderr, "%dx%d N=%d%s failed: %s\n", size.width(), size.height(),
                                 n, draw ? " drawn" : "", qPrintable(r.error));
                report.addRun(r, singleCpuMs, nDecodersCpuMs.value(n));
            }
        }
    }
    quiet.restore();
    report.end(double(elapsed.elapsed()) / 1000.0, canDraw && options->draw);
    return 0;
}
