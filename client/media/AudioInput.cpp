#include "media/AudioInput.h"

#include "media/AudioSend.h"

AudioInput::AudioInput(AudioSend *send, QObject *parent)
    : QIODevice(parent)
    , m_send(send)
{}

AudioInput::~AudioInput() = default;

qint64 AudioInput::readData(char *, qint64)
{
    return 0;
}

qint64 AudioInput::writeData(const char *data, qint64 size)
{
    if (m_enabled && size > 0)
        m_send->send(QByteArray(data, int(size)));
    return size;
}
