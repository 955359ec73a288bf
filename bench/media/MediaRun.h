#pragma once

#include <QByteArray>
#include <QList>
#include <QSize>
#include <QString>

// One measured run of the live pipeline: devsim sends N channels of one
// picture size at 25 fps (one shared stream, so that devsim encodes one
// picture per tick however many channels), the client receives them through
// the real Decode and Video objects and, when drawing, shows them in
// GlWidgetViewWindow cells. After the pictures flow and a settling second,
// the figures of the measuring window are taken.
//
// Threads: GUI thread (it runs the event loop while it waits).
struct RunSpec
{
    QSize size;
    int channels = 1;
    bool draw = false;
};

struct RunResult
{
    RunSpec spec;
    bool ok = false;
    QString error; // why the run failed
    int channelsStarted = 0;
    double fpsMean = 0; // delivered pictures per second per channel
    double fpsMin = 0;
    double delayP50Ms = 0; // devsim's send to the picture ready on the GUI thread
    double delayP95Ms = 0;
    double cpuMsPerFrame = 0; // the whole client process per delivered picture
    double rssMiBPerChannel = 0;
    qint64 dropped = 0;           // frames the decoder dropped in the window
    double devsimCpuPercent = -1; // of one core; -1 when unknown
    // Channel 0's frames from its first key frame on (at most MaxRecordedFrames), when asked.
    QList<QByteArray> bitstream;
};

class MediaRun
{
public:
    static constexpr int SourceFps = 25;
    static constexpr int SettleMs = 1000;
    static constexpr int MeasureMs = 4000;
    static constexpr int StartTimeoutMs = 20000;
    static constexpr int MaxRecordedFrames = 300;

    // discoveryPort: the P2P discovery port devsim and the client share.
    MediaRun(const RunSpec &spec, quint16 discoveryPort);

    // Runs it; devsim is gone again when this returns.
    RunResult run(bool recordBitstream);

    // Shows a view cell for a moment, so that loading the OpenGL driver and
    // its first context are not charged to the first drawn run.
    static void warmUpDrawing();

private:
    RunSpec m_spec;
    quint16 m_discoveryPort;
};
