#include "view/YuvRenderer.h"

#include <QDebug>
#include <QOpenGLContext>
#include <QOpenGLShaderProgram>
#include <QOpenGLTexture>
#include <QSurfaceFormat>

namespace {

// textureRect: the part of the picture drawn (x, y, width, height in
// texture coordinates), the whole picture unless the cell is zoomed.
const char *const VertexShader = "attribute vec4 vertexIn;\n"
                                 "attribute vec2 textureIn;\n"
                                 "uniform vec4 textureRect;\n"
                                 "varying vec2 textureOut;\n"
                                 "void main(void)\n"
                                 "{\n"
                                 "    gl_Position = vertexIn;\n"
                                 "    textureOut = textureRect.xy + textureIn * textureRect.zw;\n"
                                 "}\n";

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

constexpr int AttrVertex = 0;
constexpr int AttrTexture = 1;

#ifndef GL_RED
#define GL_RED 0x1903
#endif
#ifndef GL_UNPACK_ROW_LENGTH
#define GL_UNPACK_ROW_LENGTH 0x0CF2
#endif

} // namespace

YuvRenderer::YuvRenderer()
    : m_vertices(QOpenGLBuffer::VertexBuffer)
{}

YuvRenderer::~YuvRenderer() = default;

void YuvRenderer::initialize(QOpenGLContext *ctx)
{
    initializeOpenGLFunctions();
    glDisable(GL_DEPTH_TEST);

    m_vertices.create();
    m_vertices.bind();
    m_vertices.allocate(Vertices, int(sizeof Vertices));

    m_program = std::make_unique<QOpenGLShaderProgram>();
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
    m_textureRect = m_program->uniformLocation("textureRect");

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
    m_ready = true;
    m_uploadedSerial = 0;
}

void YuvRenderer::release()
{
    for (auto &t : m_textures)
        t.reset();
    m_program.reset();
    m_vertices.destroy();
    m_ready = false;
    m_uploadedSerial = 0;
}

void YuvRenderer::upload(const PictureExchange::Picture &p)
{
    if (p.serial == m_uploadedSerial)
        return; // the textures hold this picture already
    const int widths[3] = {p.width, p.width / 2, p.width / 2};
    const int heights[3] = {p.height, p.height / 2, p.height / 2};
    // Odd widths must not be padded to 4.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    for (int i = 0; i < 3; ++i)
        uploadPlane(i, p.planes[i], p.strides[i], widths[i], heights[i]);
    // Back to OpenGL's defaults: the painter that draws the overlays next
    // uploads its glyphs with rows padded to 4 bytes, which an alignment of
    // 1 reads skewed.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glActiveTexture(GL_TEXTURE0);
    m_colour = p.colour;
    m_uploadedSerial = p.serial;
}

void YuvRenderer::uploadPlane(int index, const uint8_t *data, int stride, int width, int height)
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

void YuvRenderer::draw(float brightness, const QRectF &source)
{
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
    m_program->setUniformValue(m_brightness, brightness);
    m_program->setUniformValue(m_textureRect, float(source.x()), float(source.y()),
                               float(source.width()), float(source.height()));
    const YuvColour::Conversion conversion = m_colour.conversion();
    glUniformMatrix3fv(m_yuvToRgb, 1, GL_FALSE, conversion.matrix.data());
    glUniform3fv(m_yuvOffset, 1, conversion.offset.data());
    glDrawArrays(GL_TRIANGLE_FAN, 0, 4);
    glActiveTexture(GL_TEXTURE0);
}
