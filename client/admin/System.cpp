#include "admin/System.h"

#include "admin/Sparkline.h"
#include "diagnostics/SystemInfo.h"
#include "link/DeviceEvents.h"
#include "link/DeviceLink.h"
#include "link/DeviceLinks.h"
#include "media/Audio.h"
#include "media/Decode.h"
#include "media/Video.h"
#include "model/Channel.h"
#include "model/Dev.h"
#include "model/Device.h"
#include "view/ViewControl.h"

#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QPainter>
#include <QScrollArea>
#include <QStyleOption>
#include <QThread>
#include <QVBoxLayout>

namespace {

const char *const RowNames[System::RowCount] = {
    QT_TRANSLATE_NOOP("System", "软件版本:"),     QT_TRANSLATE_NOOP("System", "系统版本:"),
    QT_TRANSLATE_NOOP("System", "显卡型号:"),     QT_TRANSLATE_NOOP("System", "显卡驱动:"),
    QT_TRANSLATE_NOOP("System", "OpenGL:"),       QT_TRANSLATE_NOOP("System", "接收视频帧率:"),
    QT_TRANSLATE_NOOP("System", "解码视频帧率:"), QT_TRANSLATE_NOOP("System", "接收音频帧率:"),
    QT_TRANSLATE_NOOP("System", "解码音频帧率:"), QT_TRANSLATE_NOOP("System", "当前通道:"),
    QT_TRANSLATE_NOOP("System", "视频帧宽度:"),   QT_TRANSLATE_NOOP("System", "视频帧高度:"),
    QT_TRANSLATE_NOOP("System", "编码格式:"),     QT_TRANSLATE_NOOP("System", "码流类型:"),
    QT_TRANSLATE_NOOP("System", "通道接收帧率:"), QT_TRANSLATE_NOOP("System", "通道显示帧率:"),
    QT_TRANSLATE_NOOP("System", "码率:"),         QT_TRANSLATE_NOOP("System", "丢帧数:"),
    QT_TRANSLATE_NOOP("System", "传输延时:"),     QT_TRANSLATE_NOOP("System", "设备版本号:"),
};

// Object names of the value labels, after the row's meaning.
const char *const RowKeys[System::RowCount] = {
    "version",     "os",           "gpu",     "gpuDriver", "openGl", "videoRecv",  "videoDecode",
    "audioRecv",   "audioDecode",  "channel", "width",     "height", "codec",      "quality",
    "channelRecv", "channelDrawn", "bitRate", "dropped",   "delay",  "devVersion",
};

const QString Unknown = QStringLiteral("-");

// Events per second from a difference of running totals over `ms`.
QString rate(quint64 now, quint64 before, qint64 ms)
{
    if (now < before)
        return Unknown;
    return QString::number(qRound64(double(now - before) * 1000.0 / double(qMax<qint64>(ms, 1))));
}

QString codecName(int codecId)
{
    switch (codecId) {
    case 0:
        return Unknown;
    case 78:
        return QStringLiteral("H.264");
    case 80:
        return QStringLiteral("H.265");
    default:
        return QString::number(codecId);
    }
}

// What a throw-away OpenGL context says about the graphics stack; empty
// texts when the platform offers no OpenGL.
struct GraphicsFacts
{
    QString vendor;   // the driver's maker, e.g. "Mesa/X.org"
    QString renderer; // the adapter as the driver names it
    QString version;  // OpenGL version and driver release
};

GraphicsFacts graphicsFacts()
{
    QOpenGLContext context;
    if (!context.create())
        return {};
    QOffscreenSurface surface;
    surface.setFormat(context.format());
    surface.create();
    if (!surface.isValid() || !context.makeCurrent(&surface))
        return {};
    QOpenGLFunctions *gl = context.functions();
    const auto text = [gl](GLenum name) {
        const auto *s = reinterpret_cast<const char *>(gl->glGetString(name));
        return s ? QString::fromLatin1(s) : QString();
    };
    GraphicsFacts facts{text(GL_VENDOR), text(GL_RENDERER), text(GL_VERSION)};
    context.doneCurrent();
    return facts;
}

} // namespace

System::System(QWidget *parent)
    : QWidget(parent)
    , m_info(SystemInfo::instance())
    , m_video(Video::instance())
    , m_audio(Audio::instance())
    , m_decode(Decode::instance())
    , m_view(ViewControl::instance())
    , m_dev(Dev::instance())
    , m_events(DeviceLinks::events())
{
    setObjectName(QStringLiteral("widget_system"));
    setStyleSheet(QStringLiteral("#widget_system,#widget_systemRows,QScrollArea{background-color:"
                                 "#fbfbfd;}"
                                 "QLabel{color:#333333;}QLabel[role=\"name\"]{color:#7a7f89;}"));
    // The rows scroll when the fold is lower than they are: a value that
    // wraps keeps the lines it needs.
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("scrollArea_system"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto *rows = new QWidget(scroll);
    rows->setObjectName(QStringLiteral("widget_systemRows"));
    scroll->setWidget(rows);
    outer->addWidget(scroll);
    m_grid = new QGridLayout(rows);
    m_grid->setContentsMargins(10, 8, 10, 8);
    m_grid->setHorizontalSpacing(8);
    m_grid->setVerticalSpacing(3);
    int line = 0;
    const auto separator = [this, &line] {
        auto *rule = new QFrame(this);
        rule->setFrameShape(QFrame::HLine);
        rule->setStyleSheet(QStringLiteral("color:#dfe1e6;"));
        m_grid->addWidget(rule, line++, 0, 1, 2);
    };
    for (int row = 0; row < RowCount; ++row) {
        if (row == VideoReceivedRate || row == ChannelName)
            separator();
        m_names[row] = new QLabel(tr(RowNames[row]), this);
        m_names[row]->setProperty("role", QStringLiteral("name"));
        m_values[row] = new QLabel(this);
        m_values[row]->setObjectName(QStringLiteral("label_value_") + QLatin1String(RowKeys[row]));
        m_values[row]->setWordWrap(true);
        m_values[row]->setTextInteractionFlags(Qt::TextSelectableByMouse);
        m_grid->addWidget(m_names[row], line, 0, Qt::AlignLeft | Qt::AlignTop);
        m_grid->addWidget(m_values[row], line++, 1, Qt::AlignTop);
        if (row == BitRate) {
            m_bitRates = new Sparkline(HistorySeconds, this);
            m_bitRates->setObjectName(QStringLiteral("widget_bitRateHistory"));
            m_bitRates->setToolTip(tr("最近一分钟的码率"));
            m_grid->addWidget(m_bitRates, line++, 0, 1, 2);
        }
    }
    m_grid->setColumnStretch(1, 1);
    m_grid->setRowStretch(line, 1);

    connect(&m_timer, &QTimer::timeout, this, &System::getData);
    connect(m_dev, &Dev::selectChannelMsg, this, &System::loadChannelInfo);
    connect(m_video, &Video::decodeSuccess, this, &System::showDecodeSize);
    connect(m_events, &DeviceEvents::getChannelInfoMsg, this, &System::loadChannelInfo);

    set(SoftwareVersion, m_info->version());
    set(OsVersion, m_info->osDescription());
    const QString gpus = m_info->gpuDescription();
    set(GpuModel, gpus.isEmpty() ? Unknown : gpus.section(QLatin1Char('\n'), 0, 0));
    m_values[GpuModel]->setToolTip(gpus);
    set(GpuDriver, Unknown);
    set(OpenGl, Unknown);
    for (Row row : {VideoReceivedRate, VideoDecodedRate, AudioReceivedRate, AudioDecodedRate})
        set(row, QStringLiteral("0"));

    m_last = readTotals(nullptr, true);
    m_clock.start();
    loadChannelInfo(m_dev->selectedChannel());
    m_timer.start(IntervalMs);
}

System::~System() = default;

QString System::text(Row row) const
{
    return row >= 0 && row < RowCount ? m_values[row]->text() : QString();
}

QList<double> System::bitRateHistory() const
{
    return m_bitRates->values();
}

void System::scale()
{
    for (int row = 0; row < RowCount; ++row) {
        for (QLabel *label : {m_names[row], m_values[row]}) {
            QFont font = label->font();
            font.setPixelSize(m_info->normalFontSize());
            label->setFont(font);
        }
    }
    m_bitRates->setFixedHeight(m_info->scaled(36));
}

System::Totals System::readTotals(Channel *channel, bool live) const
{
    Totals t;
    t.videoReceived = m_decode->videoFrames();
    t.videoDecoded = m_video->decodedFrames();
    t.audioReceived = m_decode->audioFrames();
    t.audioDecoded = m_audio->decodedFrames();
    if (channel) {
        const StreamCounters &c = channel->slot(live).counters;
        t.channelReceived = StreamCounters::read(c.framesReceived);
        t.channelBytes = StreamCounters::read(c.bytesReceived);
        t.channelDrawn = StreamCounters::read(c.framesDrawn);
    }
    return t;
}

void System::getData()
{
    Q_ASSERT(QThread::currentThread() == thread());
    const qint64 ms = m_clock.restart();
    Channel *channel = m_dev->selectedChannel();
    const bool live = m_view->isLive();
    const Totals now = readTotals(channel, live);
    set(VideoReceivedRate, rate(now.videoReceived, m_last.videoReceived, ms));
    set(VideoDecodedRate, rate(now.videoDecoded, m_last.videoDecoded, ms));
    set(AudioReceivedRate, rate(now.audioReceived, m_last.audioReceived, ms));
    set(AudioDecodedRate, rate(now.audioDecoded, m_last.audioDecoded, ms));

    if (channel != m_watched || live != m_watchedLive) {
        // Another stream: its rates start with the next interval.
        m_watched = channel;
        m_watchedLive = live;
        m_bitRates->clear();
        for (Row row : {ChannelReceivedRate, ChannelDrawnRate, BitRate})
            set(row, Unknown);
    } else if (channel) {
        set(ChannelReceivedRate, rate(now.channelReceived, m_last.channelReceived, ms));
        set(ChannelDrawnRate, rate(now.channelDrawn, m_last.channelDrawn, ms));
        if (now.channelBytes >= m_last.channelBytes) {
            // Bits per millisecond are kilobits per second.
            const double kbps =
                double(now.channelBytes - m_last.channelBytes) * 8.0 / double(qMax<qint64>(ms, 1));
            set(BitRate, QStringLiteral("%1 kbps").arg(qRound64(kbps)));
            m_bitRates->append(kbps);
        }
    }
    m_last = now;
    showChannel(channel, live);
}

void System::showDecodeSize(Channel *channel, bool live, int width, int height, uint)
{
    if (!channel || channel != m_dev->selectedChannel() || live != m_view->isLive())
        return;
    if (height != m_height) {
        m_height = height;
        set(PictureHeight, height > 0 ? QString::number(height) : Unknown);
    }
    if (width != m_width) {
        m_width = width;
        set(PictureWidth, width > 0 ? QString::number(width) : Unknown);
    }
}

void System::loadChannelInfo(Channel *channel)
{
    Channel *selected = m_dev->selectedChannel();
    // A version reply of another channel changes nothing here.
    if (channel && channel != selected)
        return;
    const bool live = m_view->isLive();
    if (selected != m_watched || live != m_watchedLive) {
        m_watched = selected;
        m_watchedLive = live;
        m_bitRates->clear();
        for (Row row : {ChannelReceivedRate, ChannelDrawnRate, BitRate})
            set(row, Unknown);
        // The next tick measures the new channel from here on; the program's
        // rates keep their interval.
        const Totals now = readTotals(selected, live);
        m_last.channelReceived = now.channelReceived;
        m_last.channelBytes = now.channelBytes;
        m_last.channelDrawn = now.channelDrawn;
    }
    showChannel(selected, live);
}

void System::showChannel(Channel *channel, bool live)
{
    if (!channel) {
        for (Row row : {ChannelName, Codec, Quality, DroppedFrames, Delay, DeviceVersion})
            set(row, Unknown);
        showSize(0, 0);
        return;
    }
    set(ChannelName,
        QStringLiteral("%1 CH%2").arg(channel->device()->caption()).arg(channel->index() + 1));
    const StreamCounters &c = channel->slot(live).counters;
    const bool streaming = channel->avIndex(live) >= 0 && channel->videoOn(live);
    set(Codec, streaming ? codecName(c.codecId.load(std::memory_order_relaxed)) : Unknown);
    set(Quality, streaming ? (channel->quality(live) ? tr("高清") : tr("标清")) : Unknown);
    set(DroppedFrames, QString::number(StreamCounters::read(c.framesDropped)));
    const int delay = c.delayMs.load(std::memory_order_relaxed);
    set(Delay, streaming && delay >= 0 ? QStringLiteral("%1 ms").arg(delay) : Unknown);
    // A channel that never answered the version query has no version.
    const QString version = channel->versionText();
    set(DeviceVersion, version.isEmpty() ? Unknown : version);
    showSize(c.pictureWidth(), c.pictureHeight());
}

void System::showSize(int width, int height)
{
    m_width = width;
    m_height = height;
    set(PictureWidth, width > 0 ? QString::number(width) : Unknown);
    set(PictureHeight, height > 0 ? QString::number(height) : Unknown);
}

void System::set(Row row, const QString &value)
{
    if (m_values[row]->text() != value)
        m_values[row]->setText(value);
}

void System::fillGraphicsRows()
{
    m_graphicsFilled = true;
    const GraphicsFacts facts = graphicsFacts();
    // The adapter as the system names it, else as the driver does.
    if (m_info->gpuDescription().isEmpty() && !facts.renderer.isEmpty())
        set(GpuModel, facts.renderer);
    set(GpuDriver, facts.vendor.isEmpty() ? Unknown : facts.vendor);
    set(OpenGl, facts.version.isEmpty() ? Unknown : facts.version);
}

void System::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Asking the driver costs a context; only once, and only when seen.
    if (!m_graphicsFilled)
        fillGraphicsRows();
}

void System::paintEvent(QPaintEvent *)
{
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}
