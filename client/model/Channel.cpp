#include "model/Channel.h"

#include "model/ChannelSaveTimeout.h"

#include <cstring>

Channel::Channel(Device *device, int index)
    : m_device(device)
    , m_index(index)
    , m_ioTimeout(std::make_unique<ChannelSaveTimeout>())
{
    m_ioTimeout->setChannel(this);
    m_ioTimeout->setSingleShot(true);
}

namespace {
Channel::DestroyHook destroyHook = nullptr;
Channel::StreamHook streamHook = nullptr;
} // namespace

void Channel::setDestroyHook(DestroyHook hook)
{
    destroyHook = hook;
}

void Channel::setStreamHook(StreamHook hook)
{
    streamHook = hook;
}

void Channel::setAvIndex(int avIndex, bool live)
{
    if (slot(live).avIndex.exchange(avIndex) != avIndex && streamHook)
        streamHook(this, live);
}

void Channel::setVideoOn(bool on, bool live)
{
    if (slot(live).videoOn.exchange(on) != on && streamHook)
        streamHook(this, live);
}

void Channel::setAudioOn(bool on, bool live)
{
    if (slot(live).audioOn.exchange(on) != on && streamHook)
        streamHook(this, live);
}

// Members release the decoder, recorder and talk handles, the picture buffers
// and both record-length timers.
Channel::~Channel()
{
    if (destroyHook)
        destroyHook(this);
    m_ioTimeout->stop();
}

void Channel::setVersionInfo(const void *data)
{
    if (!data) {
        m_versionInfo.reset();
        return;
    }
    auto copy = std::make_unique<std::array<char, VersionInfoSize>>();
    std::memcpy(copy->data(), data, VersionInfoSize);
    m_versionInfo = std::move(copy);
}

QString Channel::versionText() const
{
    if (!m_versionInfo)
        return QString();
    return QString::fromLatin1(m_versionInfo->data(),
                               int(qstrnlen(m_versionInfo->data(), VersionInfoSize)));
}

void Channel::setRecording(bool on, bool live)
{
    ChannelSlot &s = slot(live);
    s.recording = on;
    s.recordKeySeen = false;
}
