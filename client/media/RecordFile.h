#pragma once

#include "av/AvHandles.h"
#include "media/FrameGrid.h"
#include "media/RecordClock.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

struct AVStream;
struct AVPacket;

// One local recording: the received H.264/H.265 frames remuxed, not
// re-encoded, into a fragmented MP4 (an empty index up front and a fragment
// per key frame), so that a file cut off at any moment plays up to its last
// fragment; optionally an AAC stream encoded from 8 kHz mono samples.
//
// Timestamps are milliseconds of the recording's RecordClock from its first
// (key) frame, evened out by a FrameGrid; audio blocks are placed on the same
// timeline. The first frames wait until the grid has learnt its period, and
// a video frame is written when the next one is placed, which gives it its
// exact duration.
//
// Threads: any thread. Every method takes the file's own lock, so the video
// decode step and the audio tap may write at the same time.
class RecordFile
{
public:
    static constexpr int AudioRate = 8000;
    // Samples kept waiting for a whole encoder frame, at most (1 s).
    static constexpr int MaxPendingSamples = AudioRate;
    // An audio block further than this from where the last one ended starts
    // a new run of samples at its own time (a gap or a late block).
    static constexpr int AudioResyncSamples = AudioRate / 5;

    struct VideoFormat
    {
        int codecId = 0; // AV_CODEC_ID_H264 or AV_CODEC_ID_HEVC
        int width = 0;
        int height = 0;
        QByteArray parameterSets; // Annex B SPS/PPS (and VPS)
    };

    // Creates the file at path and writes its header; null and *error on
    // failure (nothing is left behind but an empty or header-only file).
    static std::unique_ptr<RecordFile> create(const QString &path, const VideoFormat &video,
                                              bool withAudio, QString *error);
    // Finishes the file (finish()).
    ~RecordFile();
    RecordFile(const RecordFile &) = delete;
    RecordFile &operator=(const RecordFile &) = delete;

    // Writes one received frame (Annex B) with its device time (ms field of
    // the frame record, 0 = none) and its local steady time. False and
    // *error when the file can no longer be written; what was written stays
    // playable.
    bool writeVideo(const uint8_t *data, int size, bool key, uint32_t deviceMs, int64_t localMs,
                    QString *error);
    // Adds 8 kHz mono samples received with the given times; ignored when
    // the file has no audio stream or no video frame yet.
    bool writeAudio(const int16_t *samples, int count, uint32_t deviceMs, int64_t localMs,
                    QString *error);
    // Writes the held frame and the trailer and closes the file; later
    // writes are ignored. False and *error when that failed.
    bool finish(QString *error);

    QString path() const { return m_path; }
    bool hasAudio() const { return m_audio != nullptr; }
    bool failed();

    // The parameter sets of an Annex B access unit, in Annex B form (empty
    // when it has none).
    static QByteArray parameterSets(int codecId, const uint8_t *data, int size);
    // Whether an Annex B access unit holds a picture that decoding can start
    // at (H.264 IDR, H.265 IRAP).
    static bool isKeyUnit(int codecId, const uint8_t *data, int size);
    // The picture size its parameter sets declare; false when unknown.
    static bool pictureSize(int codecId, const uint8_t *data, int size, int *width, int *height);

private:
    RecordFile() = default;
    bool open(const VideoFormat &video, bool withAudio, QString *error);
    bool addAudio(QString *error);
    bool writePacket(AVPacket *packet, AVStream *stream, int64_t fromDen, QString *error);
    bool writeHeldVideo(int64_t durationMs, QString *error);
    // Places the waiting frames on the grid and writes all but the last.
    bool placeWaiting(QString *error);
    bool encodeAudio(bool flush, QString *error);
    bool fail(const char *what, int code, QString *error);

    std::mutex m_lock;
    QString m_path;
    AvOutputFormatPtr m_format;
    AVStream *m_video = nullptr; // owned by m_format
    AVStream *m_audio = nullptr;
    AvCodecContextPtr m_audioEncoder;
    AvFramePtr m_audioFrame;
    AvPacketPtr m_packet;
    std::deque<AvPacketPtr> m_waiting; // frames not yet on the grid; pts = source time
    FrameGrid m_grid;
    AvPacketPtr m_held; // the last placed video frame, waiting for its duration
    int64_t m_heldMs = 0;
    std::vector<float> m_pending; // samples waiting for a whole encoder frame
    int64_t m_nextSample = -1;    // timeline position of m_pending's first sample
    RecordClock m_clock;
    bool m_failed = false;
    QString m_error; // why the file failed
    bool m_finished = false;
};
