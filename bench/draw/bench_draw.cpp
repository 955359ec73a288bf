// 16 synthetic 640x360 pictures at 25 fps each, drawn by three kinds of surface, each in a
// process of its own; prints each one's CPU and frames drawn, and the ratios to the first:
//   cells   one QOpenGLWidget per cell (Qt composes each cell's render target),
//   widget  one QOpenGLWidget drawing all cells,
//   window  one native QOpenGLWindow drawing all cells, paced at the pictures' rate
//           (the client's WallSurface).
//   bench_draw [seconds]            all three, one after the other
//   bench_draw MODE [seconds]       one mode (what the first form runs)
// Needs a display (xvfb-run -a -s "-screen 0 1280x800x24").
#include "media/PictureExchange.h"
#include "view/YuvRenderer.h"

#include <QApplication>
#include <QProcess>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QOpenGLContext>
#include <QOpenGLWidget>
#include <QOpenGLWindow>
#include <QTimer>
#include <QWidget>

#include <sys/resource.h>

#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int Cells = 16;
constexpr int W = 640;
constexpr int H = 360;

struct Source
{
    std::vector<uint8_t> data = std::vector<uint8_t>(W * H * 3 / 2);
    quint64 serial = 0;
    void next()
    {
        ++serial;
        const uint8_t base = uint8_t(serial * 3);
        for (int y = 0; y < H; ++y)
            memset(data.data() + y * W, uint8_t(base + y), W);
        memset(data.data() + W * H, uint8_t(128 + serial), W * H / 2);
    }
    PictureExchange::Picture picture() const
    {
        PictureExchange::Picture p;
        p.planes[0] = data.data();
        p.planes[1] = data.data() + W * H;
        p.planes[2] = data.data() + W * H + W * H / 4;
        p.strides[0] = W;
        p.strides[1] = p.strides[2] = W / 2;
        p.width = W;
        p.height = H;
        p.serial = serial;
        return p;
    }
};

std::vector<Source> sources(Cells);
quint64 paints = 0;

class Cell : public QOpenGLWidget
{
public:
    explicit Cell(int index)
        : m_index(index)
    {}
    void initializeGL() override { m_r.initialize(context()); }
    void paintGL() override
    {
        ++paints;
        m_r.upload(sources[size_t(m_index)].picture());
        m_r.draw(1.0f);
    }
    int m_index;
    YuvRenderer m_r;
};

QRect cellRect(int i, QSize area)
{
    const int w = area.width() / 4, h = area.height() / 4;
    return QRect((i % 4) * w + 2, (i / 4) * h + 2, w - 4, h - 4);
}

template <class Base> class Surface : public Base
{
public:
    void initializeGL() override
    {
        for (auto &r : m_r)
            r.initialize(this->context());
    }
    void paintGL() override
    {
        ++paints;
        const qreal dpr = this->devicePixelRatio();
        const QSize area = this->size() * dpr;
        this->context()->functions()->glClearColor(0.2f, 0.2f, 0.2f, 1);
        this->context()->functions()->glClear(GL_COLOR_BUFFER_BIT);
        for (int i = 0; i < Cells; ++i) {
            const QRect r = cellRect(i, area);
            this->context()->functions()->glViewport(r.x(), area.height() - r.bottom() - 1,
                                                     r.width(), r.height());
            m_r[i].upload(sources[size_t(i)].picture());
            m_r[i].draw(1.0f);
        }
    }
    YuvRenderer m_r[Cells];
};

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

} // namespace

int runAll(const char *self, int seconds)
{
    const QStringList modes = {QStringLiteral("cells"), QStringLiteral("widget"),
                               QStringLiteral("window")};
    std::printf("draw: %d cells of 640x360 at 25 fps, %d s measured after 3 s\n", Cells, seconds);
    std::printf("%-8s %8s %9s %9s\n", "surface", "CPU %", "frames/s", "CPU ratio");
    double base = 0;
    for (const QString &mode : modes) {
        QProcess run;
        run.start(QString::fromLocal8Bit(self), {mode, QString::number(seconds)});
        if (!run.waitForFinished(60000) || run.exitCode() != 0) {
            std::printf("%-8s failed\n", qPrintable(mode));
            return 1;
        }
        const QList<QByteArray> f = run.readAllStandardOutput().trimmed().split(' ');
        const double cpu = f.value(0).toDouble();
        if (base == 0)
            base = cpu;
        std::printf("%-8s %8.1f %9.1f %9.2f\n", qPrintable(mode), cpu, f.value(1).toDouble(),
                    base > 0 ? cpu / base : 0.0);
    }
    return 0;
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QString mode = argc > 1 ? QString::fromLatin1(argv[1]) : QString();
    if (mode.isEmpty() || mode.front().isDigit())
        return runAll(argv[0], mode.isEmpty() ? 10 : mode.toInt());
    const int seconds = argc > 2 ? atoi(argv[2]) : 10;
    QWidget top;
    top.resize(1120, 720);
    auto *grid = new QGridLayout(&top);
    grid->setContentsMargins(0, 0, 0, 0);
    std::function<void(int)> changed;
    std::vector<Cell *> cells;
    if (mode == QLatin1String("cells")) {
        grid->setSpacing(4);
        for (int i = 0; i < Cells; ++i) {
            cells.push_back(new Cell(i));
            grid->addWidget(cells.back(), i / 4, i % 4);
        }
        changed = [&](int i) { cells[size_t(i)]->update(); };
    } else if (mode == QLatin1String("widget")) {
        auto *s = new Surface<QOpenGLWidget>;
        grid->addWidget(s, 0, 0);
        changed = [s](int) { s->update(); };
    } else {
        // Paced as the wall is: at most one frame per 0.9 picture interval.
        auto *s = new Surface<QOpenGLWindow>;
        grid->addWidget(QWidget::createWindowContainer(s), 0, 0);
        auto *pace = new QTimer(&top);
        pace->setSingleShot(true);
        auto *since = new QElapsedTimer;
        since->start();
        QObject::connect(pace, &QTimer::timeout, s, [s, since] {
            since->restart();
            s->update();
        });
        changed = [s, pace, since](int) {
            if (pace->isActive())
                return;
            if (since->elapsed() >= 36) {
                since->restart();
                s->update();
            } else {
                pace->start(int(36 - since->elapsed()));
            }
        };
    }
    top.show();
    std::vector<QTimer *> timers;
    for (int i = 0; i < Cells; ++i) {
        auto *t = new QTimer(&top);
        t->setTimerType(Qt::PreciseTimer);
        t->setInterval(40);
        QObject::connect(t, &QTimer::timeout, [&, i] {
            sources[size_t(i)].next();
            changed(i);
        });
        QTimer::singleShot(i * 5 / 2, t, [t] { t->start(); });
    }
    double cpu0 = 0;
    QElapsedTimer wall;
    QTimer::singleShot(3000, [&] {
        cpu0 = cpuSeconds();
        paints = 0;
        wall.start();
    });
    QTimer::singleShot(3000 + seconds * 1000, [&] {
        const double cpu = cpuSeconds() - cpu0;
        const double span = double(wall.elapsed()) / 1000.0;
        std::printf("%.1f %.1f\n", 100.0 * cpu / span, double(paints) / span);
        app.quit();
    });
    return app.exec();
}
