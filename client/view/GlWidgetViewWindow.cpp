#include "view/GlWidgetViewWindow.h"

#include "diagnostics/SystemInfo.h"
#include "media/PictureExchange.h"
#include "media/Video.h"
#include "view/WaitingCircle.h"
#include "model/Channel.h"
#include "model/Dev.h"

#include <QDateTime>
#include <QLabel>
#include <QMouseEvent>
#include <QMultiHash>
#include <QPointer>
#include <QOpenGLContext>
#include <QOpenGLShaderProgram>
#include <QOpenGLTexture>

namespace {

const char *const VertexShader =
    "attribute vec4 vertexIn;     attribute vec2 textureIn;     varying vec2 textureOut;      void "
    "main(void)               {                                 gl_Position = vertexIn;         "
    "textureOut = textureIn;     }";

// yuvToRgb and yuvOffset carry the picture's matrix and range (YuvColour).
const char *const FragmentShader =
    "varying vec2 textureOut;\n"
    "uniform sampler2D tex_y;\n"
    "uniform sampler2D tex_u;\n"
    "uniform sampler2D tex_v;\n"
    "uniform mat3 yuvToRgb;\n"
    "uniform vec3 yuvOffset;\n"
    "uniform float brightness;\n"
    "void main(void)\n"
    "{\n"
    "    vec3 yuv = vec3(texture2D(tex_y, textureOut).r, texture2D(tex_u, textureOut).r,\n"
    "                    texture2D(tex_v, textureOut).r);\n"
    "    vec3 rgb = clamp(yuvToRgb * (yuv - yuvOffset), 0.0, 1.0);\n"
    "    gl_FragColor = vec4(rgb * brightness, 1.0);\n"
    "}\n";

// Four corners, then their texture coordinates: the first picture row at the top.
const float Vertices[16] = {-1.0f, -1.0f, -1.0f, 1.0f, 1.0f, 1.0f, 1.0f, -1.0f,
                            0.0f,  1.0f,  0.0f,  0.0f, 1.0f, 0.0f, 1.0f, 1.0f};

// A cell with a status text over it draws its picture at this brightness.
constexpr float DimmedBrightness = 0.4f;

constexpr int AttrVertex = 0;
constexpr int AttrTexture = 1;

#ifndef GL_RED
#define GL_RED 0x1903
#endif
#ifndef GL_UNPACK_ROW_LENGTH
#define GL_UNPACK_ROW_LENGTH 0x0CF2
#endif

// The cells by channel, so that a decoded picture reaches its cell without
// every cell looking at every picture.
QMultiHash<Channel *, GlWidgetViewWindow *> &cellsByChannel()
{
    static QMultiHash<Channel *, GlWidgetViewWindow *> cells;
    return cells;
}

std::function<bool()> &modeSource()
{
    static std::function<bool()> source = [] { return true; };
    return source;
}

bool currentLive()
{
    return modeSource()();
}

} // namespace

void GlWidgetViewWindow::setModeSource(std::function<bool()> source)
{
    modeSource() = source ? std::move(source) : std::function<bool()>([] { return true; });
}

GlWidgetViewWindow::GlWidgetViewWindow(QWidget *parent)
    : QOpenGLWidget(parent)
    , m_vertices(QOpenGLBuffer::VertexBuffer)
{
    SystemInfo *info = SystemInfo::instance();
    m_scale = info->scale();
    const double s = m_scale;

    m_recordBadge = new QWidget(this);
    m_recordBadge->setStyleSheet(QStringLiteral("background:rgba(0,0,0,0)"));
    m_recordBadge->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_recordDot = new QLabel(m_recordBadge);
    m_recordDot->setGeometry(0, int(5 * s), int(8 * s), int(8 * s));
    m_recordDot->setStyleSheet(
        QStringLiteral("border:0;border-radius:4px;background-color:rgb(255,0,0)"));
    m_recordText = new QLabel(QStringLiteral("REC"), m_recordBadge);
    m_recordText->setGeometry(int(12 * s), 0, int(30 * s), int(18 * s));
    m_recordText->setStyleSheet(
        QStringLiteral("font-size:11px;font-family: \"微软雅黑\";color:rgb(255,0,0)"));
    m_recordText->setStyleSheet(
        info->scaleFontSheet(m_recordText->styleSheet(), SystemInfo::Normal));
    m_recordBadge->hide();

    // Built for pictures that need too much of the machine; not shown yet.
    m_notice = new QWidget(this);
    m_notice->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_noticeText = new QLabel(tr("超高清视频,请关闭其他通道播放以免占用过多资源"), m_notice);
    m_noticeText->setStyleSheet(QStringLiteral("color:rgb(255,0,0)"));
    m_notice->hide();

    m_status = new QLabel(this);
    m_status->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_status->setAlignment(Qt::AlignCenter);
    m_status->setWordWrap(true);
    m_status->setStyleSheet(info->scaleFontSheet(
        QStringLiteral("font-size:14px;color:rgb(255,255,255);background:rgba(0,0,0,0)"),
        SystemInfo::Normal));
    m_status->hide();

    routePictures();
    connect(Dev::instance(), &Dev::selectChannelMsg, this,
            &GlWidgetViewWindow::showSelectedChannel);
}

void GlWidgetViewWindow::routePictures()
{
    static QPointer<Video> routed;
    Video *video = Video::instance();
    if (routed == video)
        return;
    routed = video;
    connect(video, &Video::decodeSuccess, video,
            [](Channel *channel, bool live, int width, int height, uint timestamp) {
                const QList<GlWidgetViewWindow *> cells = cellsByChannel().values(channel);
                for (GlWidgetViewWindow *cell : cells)
                    cell->showImg(channel, live, width, height, timestamp);
            });
}

GlWidgetViewWindow::~GlWidgetViewWindow()
{
    showChannelOnScreen(nullptr);
    releaseGl();
    // The base class destroys the context: this part of the object must not
    // hear of it any more.
    if (QOpenGLContext *ctx = context())
        disconnect(ctx, nullptr, this, nullptr);
}

void GlWidgetViewWindow::releaseGl()
{
    // Runs while the context still exists: before the widget goes, and when
    // the context is replaced (the cell moved to another top-level window,
    // as the full-screen grid does); initializeGL builds them again then.
    if (!m_glReady || !context())
        return;
    makeCurrent();
    for (auto &t : m_textures)
        t.reset();
    m_program.reset();
    m_vertices.destroy();
    doneCurrent();
    m_glReady = false;
    m_uploadedSerial = 0;
}

bool GlWidgetViewWindow::isRecordBadgeShown() const
{
    return !m_recordBadge->isHidden();
}

void GlWidgetViewWindow::showChannelOnScreen(Channel *channel)
{
    if (m_channel == channel)
        return;
    if (m_channel) {
        cellsByChannel().remove(m_channel, this);
        if (!cellsByChannel().contains(m_channel))
            m_channel->setSeen(false);
    }
    m_channel = channel;
    if (channel)
        cellsByChannel().insert(channel, this);
    updateSeen();
}

void GlWidgetViewWindow::updateSeen()
{
    if (!m_channel)
        return;
    const QWidget *top = window();
    m_channel->setSeen(isVisible() && !(top->windowState() & Qt::WindowMinimized) && width() > 0 &&
                       height() > 0);
}

void GlWidgetViewWindow::showEvent(QShowEvent *event)
{
    QOpenGLWidget::showEvent(event);
    // The top-level window tells when it is minimised and restored.
    if (window() != m_topLevel) {
        if (m_topLevel)
            m_topLevel->removeEventFilter(this);
        m_topLevel = window();
        if (m_topLevel != this)
            m_topLevel->installEventFilter(this);
    }
    updateSeen();
}

void GlWidgetViewWindow::hideEvent(QHideEvent *event)
{
    QOpenGLWidget::hideEvent(event);
    updateSeen();
}

bool GlWidgetViewWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_topLevel && event->type() == QEvent::WindowStateChange)
        updateSeen();
    return QOpenGLWidget::eventFilter(watched, event);
}

void GlWidgetViewWindow::setChannel(Device *device, Channel *channel)
{
    m_device = device;
    showChannelOnScreen(channel);
    m_pictures.reset();
    m_uploadedSerial = 0;
    m_status->clear();
    m_status->hide();
    if (!channel) {
        removeWaiting();
        m_recordBadge->hide();
        m_selected = false;
        update();
        return;
    }
    // A channel moved into this cell (zoom, another layout) keeps showing
    // its picture; a channel without one shows the waiting indicator.
    const bool live = currentLive();
    if (Video::instance()->pictures(channel, live)->hasPicture() && !channel->waitKeyFrame(live))
        removeWaiting();
    else
        showWaiting(channel);
    m_recordBadge->setVisible(channel->recording(live));
    m_selected = Dev::instance()->selectedChannel() == channel;
    reloadImg();
    update();
}

void GlWidgetViewWindow::place(int width, int height, int x, int y)
{
    setGeometry(x, y, width, height);
    resizeGL(width, height);
    layoutOverlays();
}

void GlWidgetViewWindow::layoutOverlays()
{
    const double s = m_scale;
    m_recordBadge->setGeometry(int(width() - 40 * s), int(3 * s), int(40 * s), int(18 * s));
    m_notice->setGeometry(int(10 * s), int(3 * s), int(width() - 50 * s), int(18 * s));
    m_noticeText->setGeometry(0, 0, m_notice->width(), m_notice->height());
    m_status->setGeometry(int(8 * s), 0, qMax(0, int(width() - 16 * s)), height());
}

void GlWidgetViewWindow::setStatus(const QString &text)
{
    if (text == m_status->text() && m_status->isVisible() == !text.isEmpty())
        return;
    m_status->setText(text);
    m_status->setVisible(!text.isEmpty());
    if (!text.isEmpty()) {
        removeWaiting();
        m_status->raise();
    }
    update();
}

QString GlWidgetViewWindow::status() const
{
    return m_status->text();
}

void GlWidgetViewWindow::removeWaiting()
{
    delete m_waiting;
    m_waiting = nullptr;
}

void GlWidgetViewWindow::showImg(Channel *channel, bool live, int width, int height, uint timestamp)
{
    if (!channel || channel != m_channel || !channel->videoOn(live))
        return;
    if (m_waiting && !channel->waitKeyFrame(live))
        removeWaiting();
    setStatus(QString()); // pictures again: whatever stopped them is over
    if (live && channel->quality(true))
        channel->setHdPictureSize(QSize(width, height));
    m_width = width;
    m_height = height;
    m_pictures = Video::instance()->pictures(channel, live);
    m_timestamp = timestamp;
    update();
}

void GlWidgetViewWindow::cleanScreen(Channel *channel)
{
    if (channel != m_channel && m_channel)
        return;
    // A restarted stream keeps its last picture until the new one's first.
    if (m_pictures && m_pictures->hasPicture())
        return;
    m_pictures.reset();
    // Under a status text the cell keeps showing its last picture, dimmed.
    if (m_status->text().isEmpty())
        m_uploadedSerial = 0;
    update();
}

void GlWidgetViewWindow::loadRecordStatus(Channel *channel)
{
    if (!channel || channel != m_channel)
        return;
    m_recordBadge->setVisible(channel->recording(currentLive()));
}

void GlWidgetViewWindow::showSelectedChannel(Channel *channel)
{
    m_selected = channel && channel == m_channel;
    reloadImg();
}

void GlWidgetViewWindow::reloadImg()
{
    if (!m_channel)
        return;
    const bool live = currentLive();
    std::shared_ptr<PictureExchange> pictures = Video::instance()->pictures(m_channel, live);
    if (!pictures->hasPicture())
        return;
    pictures->frontSize(m_width, m_height);
    m_pictures = pictures;
    update();
}

void GlWidgetViewWindow::showWaiting(Channel *channel)
{
    if (!channel || channel != m_channel)
        return;
    removeWaiting();
    m_waiting = new WaitingCircle(this);
    m_waiting->show();
    m_waiting->raise();
}

void GlWidgetViewWindow::hideWaiting(Channel *channel)
{
    if (!channel || channel != m_channel)
        return;
    removeWaiting();
}

void GlWidgetViewWindow::mouseReleaseEvent(QMouseEvent *event)
{
    if (m_channel) {
        Dev *dev = Dev::instance();
        dev->setSelectedDevice(m_device);
        dev->setSelectedChannel(m_channel);
        // The right button also opens the cell's menu through the view
        // grid (ViewControl::openSubWindowMenu) once the grid is wired.
    }
    QOpenGLWidget::mouseReleaseEvent(event);
}

void GlWidgetViewWindow::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (m_channel)
        emit doubleClicked(m_channel);
    QOpenGLWidget::mouseDoubleClickEvent(event);
}

void GlWidgetViewWindow::initializeGL()
{
    initializeOpenGLFunctions();
    connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, &GlWidgetViewWindow::releaseGl,
            Qt::ConnectionType(Qt::UniqueConnection | Qt::DirectConnection));
    glEnable(GL_DEPTH_TEST);

    m_vertices.create();
    m_vertices.bind();
    m_vertices.allocate(Vertices, int(sizeof Vertices));

    m_program = std::make_unique<QOpenGLShaderProgram>();
    QOpenGLContext *ctx = context();
    const bool gles = ctx->isOpenGLES();
    // OpenGL ES needs a default precision in fragment shaders.
    const QByteArray prefix = gles ? QByteArrayLiteral("precision mediump float;\n") : QByteArray();
    if (!m_program->addShaderFromSourceCode(QOpenGLShader::Vertex, VertexShader) ||
        !m_program->addShaderFromSourceCode(QOpenGLShader::Fragment,
                                            prefix + QByteArray(FragmentShader))) {
        qWarning() << "view cell shaders failed:" << m_program->log();
    }
    m_program->bindAttributeLocation("vertexIn", AttrVertex);
    m_program->bindAttributeLocation("textureIn", AttrTexture);
    if (!m_program->link())
        qWarning() << "view cell shader program failed:" << m_program->log();
    m_program->bind();
    m_program->enableAttributeArray(AttrVertex);
    m_program->enableAttributeArray(AttrTexture);
    m_program->setAttributeBuffer(AttrVertex, GL_FLOAT, 0, 2, 2 * sizeof(float));
    m_program->setAttributeBuffer(AttrTexture, GL_FLOAT, 8 * sizeof(float), 2, 2 * sizeof(float));

    m_texY = m_program->uniformLocation("tex_y");
    m_texU = m_program->uniformLocation("tex_u");
    m_texV = m_program->uniformLocation("tex_v");
    m_brightness = m_program->uniformLocation("brightness");
    m_yuvToRgb = m_program->uniformLocation("yuvToRgb");
    m_yuvOffset = m_program->uniformLocation("yuvOffset");

    for (int i = 0; i < 3; ++i) {
        m_textures[i] = std::make_unique<QOpenGLTexture>(QOpenGLTexture::Target2D);
        m_textures[i]->create();
        m_textureIds[i] = m_textures[i]->textureId();
    }
    // One-channel textures: GL_RED from OpenGL 3 on, GL_LUMINANCE before.
    const QSurfaceFormat fmt = ctx->format();
    m_planeFormat = (!gles && fmt.majorVersion() >= 3) ? GL_RED : GL_LUMINANCE;
    m_rowLength = !gles || fmt.majorVersion() >= 3;
    for (QSize &size : m_planeSizes)
        size = QSize();

    glClearColor(0.99f, 0.99f, 0.99f, 0.0f);
    m_glReady = true;
    m_uploadedSerial = 0;
}

void GlWidgetViewWindow::resizeGL(int, int)
{
    if (m_waiting)
        m_waiting->relayout();
}

void GlWidgetViewWindow::clearTo(float r, float g, float b)
{
    glClearColor(r, g, b, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void GlWidgetViewWindow::uploadPlane(int index, const uint8_t *data, int stride, int width,
                                     int height)
{
    glActiveTexture(GL_TEXTURE0 + index);
    glBindTexture(GL_TEXTURE_2D, m_textureIds[index]);
    const bool sameSize = m_planeSizes[index] == QSize(width, height);
    // A texture of the same size is refilled, not allocated again.
    const auto load = [&] {
        if (sameSize)
            glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, m_planeFormat, GL_UNSIGNED_BYTE,
                            data);
        else
            glTexImage2D(GL_TEXTURE_2D, 0, GLint(m_planeFormat), width, height, 0, m_planeFormat,
                         GL_UNSIGNED_BYTE, data);
    };
    if (stride == width) {
        load();
    } else if (m_rowLength) {
        glPixelStorei(GL_UNPACK_ROW_LENGTH, stride);
        load();
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    } else {
        // OpenGL ES 2 has no row length: rows one by one.
        if (!sameSize)
            glTexImage2D(GL_TEXTURE_2D, 0, GLint(m_planeFormat), width, height, 0, m_planeFormat,
                         GL_UNSIGNED_BYTE, nullptr);
        for (int y = 0; y < height; ++y)
            glTexSubImage2D(GL_TEXTURE_2D, 0, 0, y, width, 1, m_planeFormat, GL_UNSIGNED_BYTE,
                            data + qint64(y) * stride);
    }
    if (!sameSize) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        m_planeSizes[index] = QSize(width, height);
    }
}

bool GlWidgetViewWindow::uploadPicture(uint &timestamp)
{
    return m_pictures->withFront([&](const PictureExchange::Picture &p) {
        m_width = p.width;
        m_height = p.height;
        timestamp = p.timestamp;
        if (p.serial == m_uploadedSerial)
            return; // the textures hold this picture already
        const int widths[3] = {p.width, p.width / 2, p.width / 2};
        const int heights[3] = {p.height, p.height / 2, p.height / 2};
        // Odd widths must not be padded to 4.
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        for (int i = 0; i < 3; ++i)
            uploadPlane(i, p.planes[i], p.strides[i], widths[i], heights[i]);
        m_colour = p.colour;
        m_uploadedSerial = p.serial;
        StreamCounters &counters = m_channel->slot(currentLive()).counters;
        StreamCounters::add(counters.framesDrawn);
        counters.delayMs.store(StreamCounters::delayOf(p.tag, QDateTime::currentMSecsSinceEpoch()),
                               std::memory_order_relaxed);
    });
}

void GlWidgetViewWindow::paintGL()
{
    const qreal dpr = devicePixelRatioF();
    glViewport(0, 0, int(width() * dpr), int(height() * dpr));
    const auto sized = [this] { return m_width / 2 >= 1 && m_height / 2 >= 1; };
    uint timestamp = 0;
    // A new picture, or else (under a status text) the last one the
    // textures still hold.
    const bool fresh = m_channel && m_pictures && sized() && uploadPicture(timestamp) && sized();
    const bool dimmed = !m_status->text().isEmpty();
    if (!fresh && !(m_channel && dimmed && m_uploadedSerial != 0 && sized())) {
        clearTo(0.99f, 0.99f, 0.99f); // nothing to draw, or the stream stopped meanwhile
        return;
    }
    if (m_selected)
        clearTo(0.1f, 0.5f, 1.0f);
    else
        clearTo(0.5f, 0.5f, 0.5f);
    glViewport(int(2 * dpr), int(2 * dpr), int((width() - 4) * dpr), int((height() - 4) * dpr));

    m_program->bind();
    m_vertices.bind();
    m_program->enableAttributeArray(AttrVertex);
    m_program->enableAttributeArray(AttrTexture);
    m_program->setAttributeBuffer(AttrVertex, GL_FLOAT, 0, 2, 2 * sizeof(float));
    m_program->setAttributeBuffer(AttrTexture, GL_FLOAT, 8 * sizeof(float), 2, 2 * sizeof(float));
    for (int i = 0; i < 3; ++i) {
        glActiveTexture(GL_TEXTURE0 + i);
        glBindTexture(GL_TEXTURE_2D, m_textureIds[i]);
    }
    m_program->setUniformValue(m_texY, 0);
    m_program->setUniformValue(m_texU, 1);
    m_program->setUniformValue(m_texV, 2);
    m_program->setUniformValue(m_brightness, dimmed ? DimmedBrightness : 1.0f);
    const YuvColour::Conversion conversion = m_colour.conversion();
    glUniformMatrix3fv(m_yuvToRgb, 1, GL_FALSE, conversion.matrix.data());
    glUniform3fv(m_yuvOffset, 1, conversion.offset.data());
    glDrawArrays(GL_TRIANGLE_FAN, 0, 4);
    glActiveTexture(GL_TEXTURE0);

    if (fresh)
        Video::instance()->showImageFinish(m_channel, timestamp);
}
