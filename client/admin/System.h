#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

class Audio;
class Channel;
class Decode;
class Dev;
class DeviceEvents;
class QGridLayout;
class QLabel;
class Sparkline;
class SystemInfo;
class Video;
class ViewControl;

// The stream information page: facts about the installation (version,
// operating system, graphics adapter and driver, OpenGL), the media
// throughput of the whole program per second (video and audio frames
// received and decoded), and the live figures of the channel selected in
// the device tree in the current mode: picture size, codec, SD/HD, frames
// received and drawn per second, bit rate with its last minute as a
// sparkline, dropped frames, send-to-picture delay (where the device sends
// its clock) and the device's version.
//
// Rates are differences of the pipeline's running totals over the measured
// interval of the page's one-second clock; the page never resets a counter.
// It keeps no Channel pointer of its own: every tick asks Dev for the
// selected channel, so a deleted device is never read.
//
// GUI thread only.
class System : public QWidget
{
    Q_OBJECT

public:
    static constexpr int IntervalMs = 1000;
    static constexpr int HistorySeconds = 60;

    // The rows, in screen order.
    enum Row {
        SoftwareVersion,
        OsVersion,
        GpuModel,
        GpuDriver,
        OpenGl,
        VideoReceivedRate,
        VideoDecodedRate,
        AudioReceivedRate,
        AudioDecodedRate,
        ChannelName,
        PictureWidth,
        PictureHeight,
        Codec,
        Quality,
        ChannelReceivedRate,
        ChannelDrawnRate,
        BitRate,
        DroppedFrames,
        Delay,
        DeviceVersion,
        RowCount
    };

    explicit System(QWidget *parent = nullptr);
    ~System() override;

    // The value shown in a row.
    QString text(Row row) const;
    // Bit rates of the selected channel in kbit/s, one a second, oldest first.
    QList<double> bitRateHistory() const;
    // Sets every label's font to the normal size of the scale service.
    void scale();

public slots:
    // The one-second clock: rates of the last interval and the selected
    // channel's figures.
    void getData();
    // A decoded picture; shown when it is the selected channel's in the
    // current mode.
    void showDecodeSize(Channel *channel, bool live, int width, int height, uint timestamp);
    // The selection changed, or a channel's version arrived.
    void loadChannelInfo(Channel *channel);

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    // Running totals at the start of an interval.
    struct Totals
    {
        quint64 videoReceived = 0;
        quint64 videoDecoded = 0;
        quint64 audioReceived = 0;
        quint64 audioDecoded = 0;
        quint64 channelReceived = 0;
        quint64 channelBytes = 0;
        quint64 channelDrawn = 0;
    };

    Totals readTotals(Channel *channel, bool live) const;
    void showChannel(Channel *channel, bool live);
    void showSize(int width, int height);
    void set(Row row, const QString &value);
    void fillGraphicsRows();

    SystemInfo *m_info;
    Video *m_video;
    Audio *m_audio;
    Decode *m_decode;
    ViewControl *m_view;
    Dev *m_dev;
    DeviceEvents *m_events;
    QTimer m_timer;
    int m_width = 0; // last shown picture size
    int m_height = 0;

    QGridLayout *m_grid = nullptr;
    QLabel *m_names[RowCount] = {};
    QLabel *m_values[RowCount] = {};
    Sparkline *m_bitRates = nullptr;
    bool m_graphicsFilled = false;

    // The interval being measured, and the stream its channel figures belong to.
    QElapsedTimer m_clock;
    Totals m_last;
    Channel *m_watched = nullptr; // compared only, never dereferenced
    bool m_watchedLive = true;
};
