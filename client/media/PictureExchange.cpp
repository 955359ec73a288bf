#include "media/PictureExchange.h"

#include <utility>

extern "C" {
#include <libavutil/buffer.h>
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

PictureExchange::PictureExchange() = default;

PictureExchange::~PictureExchange()
{
    av_frame_free(&m_front.frame);
    av_frame_free(&m_back.frame);
}

void PictureExchange::release(Slot &slot)
{
    if (slot.frame)
        av_frame_unref(slot.frame);
    slot.filled = false;
    slot.packed = false;
}

AVFrame *PictureExchange::backFrame()
{
    if (!m_back.frame)
        m_back.frame = av_frame_alloc();
    else
        release(m_back);
    return m_back.frame;
}

uint8_t *PictureExchange::backBuffer(int width, int height)
{
    if (width <= 0 || height <= 0)
        return nullptr;
    const qint64 need = packedSize(width, height);
    if (need > MaxBytes)
        return nullptr;
    AVFrame *f = m_back.frame;
    const bool reusable = f && m_back.packed && f->buf[0] && f->width == width &&
                          f->height == height && av_buffer_is_writable(f->buf[0]);
    if (!reusable) {
        f = backFrame();
        if (!f)
            return nullptr;
        f->buf[0] = av_buffer_alloc(size_t(need));
        if (!f->buf[0])
            return nullptr;
        uint8_t *base = f->buf[0]->data;
        f->data[0] = base;
        f->data[1] = base + uOffset(width, height);
        f->data[2] = base + vOffset(width, height);
        f->linesize[0] = width;
        f->linesize[1] = width / 2;
        f->linesize[2] = width / 2;
        f->width = width;
        f->height = height;
        f->format = AV_PIX_FMT_YUV420P;
        m_back.packed = true;
    }
    m_back.filled = false;
    return f->data[0];
}

void PictureExchange::publish(uint32_t timestamp, uint32_t tag, YuvColour colour)
{
    if (!m_back.frame || !m_back.frame->data[0])
        return;
    m_back.filled = true;
    m_back.timestamp = timestamp;
    m_back.tag = tag;
    m_back.colour = colour;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        std::swap(m_front, m_back);
        ++m_serial;
    }
    // The former front: a decoder's buffer goes back to its pool now; our
    // own packed buffer is kept for the next packed picture.
    m_back.filled = false;
    if (!m_back.packed && m_back.frame)
        av_frame_unref(m_back.frame);
}

PictureExchange::Picture PictureExchange::frontPicture() const
{
    Picture p;
    const AVFrame *f = m_front.frame;
    for (int i = 0; i < 3; ++i) {
        p.planes[i] = f->data[i];
        p.strides[i] = f->linesize[i];
    }
    p.width = f->width;
    p.height = f->height;
    p.timestamp = m_front.timestamp;
    p.tag = m_front.tag;
    p.serial = m_serial;
    p.colour = m_front.colour;
    return p;
}

bool PictureExchange::hasPicture() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_front.frame && m_front.filled;
}

quint64 PictureExchange::serial() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_serial;
}

void PictureExchange::frontSize(int &width, int &height) const
{
    std::lock_guard<std::mutex> lock(m_lock);
    const bool has = m_front.frame && m_front.filled;
    width = has ? m_front.frame->width : 0;
    height = has ? m_front.frame->height : 0;
}

void PictureExchange::clear()
{
    std::lock_guard<std::mutex> lock(m_lock);
    release(m_front);
    release(m_back);
}

qint64 PictureExchange::allocatedBytes() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    qint64 bytes = 0;
    for (const Slot *s : {&m_front, &m_back})
        if (s->frame)
            for (const AVBufferRef *b : s->frame->buf)
                if (b)
                    bytes += qint64(b->size);
    return bytes;
}
