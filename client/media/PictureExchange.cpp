#include "media/PictureExchange.h"

#include <new>
#include <utility>

uint8_t *PictureExchange::backBuffer(int width, int height)
{
    if (width <= 0 || height <= 0)
        return nullptr;
    const qint64 need = packedSize(width, height);
    if (need > MaxBytes)
        return nullptr;
    if (m_back.capacity < need) {
        m_back.data.reset();
        m_back.capacity = 0;
        m_back.data.reset(new (std::nothrow) uint8_t[size_t(need)]);
        if (!m_back.data)
            return nullptr;
        m_back.capacity = need;
    }
    return m_back.data.get();
}

void PictureExchange::publish(int width, int height, uint32_t timestamp, uint32_t tag)
{
    m_back.tag = tag;
    m_back.width = width;
    m_back.height = height;
    m_back.timestamp = timestamp;
    std::lock_guard<std::mutex> lock(m_lock);
    std::swap(m_front, m_back);
    ++m_serial;
}

bool PictureExchange::hasPicture() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_front.data != nullptr;
}

quint64 PictureExchange::serial() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_serial;
}

void PictureExchange::frontSize(int &width, int &height) const
{
    std::lock_guard<std::mutex> lock(m_lock);
    width = m_front.data ? m_front.width : 0;
    height = m_front.data ? m_front.height : 0;
}

void PictureExchange::clear()
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_front = Buffer();
    m_back = Buffer();
}

qint64 PictureExchange::allocatedBytes() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_front.capacity + m_back.capacity;
}
