#pragma once

#include "media/PictureExchange.h"
#include "media/YuvColour.h"

#include <QOpenGLBuffer>
#include <QOpenGLFunctions>
#include <QRectF>
#include <QSize>

#include <memory>

class QOpenGLContext;
class QOpenGLShaderProgram;
class QOpenGLTexture;

// Draws 8-bit 4:2:0 pictures with a YUV-to-RGB shader (the matrix and range
// the stream declares) into the current viewport of one OpenGL context.
// Three one-channel textures hold the planes; a picture of the size already
// uploaded refills them instead of allocating again. A part of the picture
// can be drawn magnified (digital zoom) straight from the same textures.
//
// GUI thread, with its context current for every call.
class YuvRenderer : protected QOpenGLFunctions
{
public:
    YuvRenderer();
    ~YuvRenderer();
    YuvRenderer(const YuvRenderer &) = delete;
    YuvRenderer &operator=(const YuvRenderer &) = delete;

    // Builds the shaders, buffer and textures in ctx (current).
    void initialize(QOpenGLContext *ctx);
    // Frees them while the context still exists; initialize() builds them again.
    void release();
    bool isReady() const { return m_ready; }

    // Uploads the picture's planes (nothing when they hold it already).
    void upload(const PictureExchange::Picture &p);
    // The serial of the picture the textures hold; 0 when none.
    quint64 uploadedSerial() const { return m_uploadedSerial; }
    // The textures no longer count as holding a picture (a new channel).
    void forget() { m_uploadedSerial = 0; }
    // Draws the uploaded picture's part `source` (normalised, y down; the
    // whole picture by default) over the viewport at the brightness (1 = as is).
    void draw(float brightness, const QRectF &source = QRectF(0, 0, 1, 1));

private:
    void uploadPlane(int index, const uint8_t *data, int stride, int width, int height);

    QOpenGLBuffer m_vertices;
    std::unique_ptr<QOpenGLShaderProgram> m_program;
    std::unique_ptr<QOpenGLTexture> m_textures[3];
    unsigned int m_textureIds[3] = {0, 0, 0};
    int m_texY = -1;
    int m_texU = -1;
    int m_texV = -1;
    int m_brightness = -1;
    int m_yuvToRgb = -1;
    int m_yuvOffset = -1;
    int m_textureRect = -1;
    YuvColour m_colour;
    QSize m_planeSizes[3];
    unsigned int m_planeFormat = 0; // GL_RED, or GL_LUMINANCE on OpenGL 2
    bool m_rowLength = true;        // GL_UNPACK_ROW_LENGTH is available
    bool m_ready = false;
    quint64 m_uploadedSerial = 0;
};
