#pragma once

#include <QIODevice>

class AudioSend;

// The microphone's sink: the audio source writes captured PCM here, and
// while enabled every chunk goes to AudioSend::send. Nothing can be read.
//
// Threads: GUI thread (the audio source writes from there).
class AudioInput : public QIODevice
{
    Q_OBJECT

public:
    explicit AudioInput(AudioSend *send, QObject *parent = nullptr);
    ~AudioInput() override;

    void setEnabled(bool on) { m_enabled = on; }
    bool isEnabled() const { return m_enabled; }

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 size) override;

private:
    bool m_enabled = false;
    AudioSend *m_send;
};
