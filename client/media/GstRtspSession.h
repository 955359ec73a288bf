#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>
#include <mutex>

typedef struct _GstElement GstElement;
typedef struct _GstBus GstBus;
typedef struct _GstMessage GstMessage;

// GStreamer's rtspsrc in a pipeline of our own: the connection settings
// (location without credentials, the credentials as rtspsrc's own
// properties, TCP or UDP, time-outs) and the bus. GStreamer's threads only
// call wake() (an error, the end or progress is on the bus); the owner's
// worker reads the bus with poll().
//
// Errors keep the words of the camera or of GStreamer; a refusal carries
// the camera's RTSP status: 401 ends with AVERROR_HTTP_UNAUTHORIZED, 403
// with AVERROR_HTTP_FORBIDDEN, 404 with AVERROR_HTTP_NOT_FOUND; a session
// that the camera cannot set up as asked (551 Option not supported, "no
// SDP" after a refused Require) with AVERROR(ENOTSUP).
//
// Threads: everything but wake() on the owner's worker.
class GstRtspSession
{
public:
    struct Source
    {
        QString shownUrl; // the URL without credentials
        QByteArray user;
        QByteArray password;
        bool udp = false;
        int ioTimeoutMs = 4000;
    };

    // Whether GStreamer starts and has rtspsrc, appsink and the named
    // elements (a null-terminated list); *why says what is missing.
    // Initialises GStreamer once. Any thread.
    static bool usable(const char *const *elements, QString *why);

    explicit GstRtspSession(std::function<void()> wake);
    // Stops the pipeline (TEARDOWN) and frees it.
    ~GstRtspSession();
    GstRtspSession(const GstRtspSession &) = delete;
    GstRtspSession &operator=(const GstRtspSession &) = delete;

    // Makes the pipeline and its rtspsrc; false with *text when GStreamer
    // cannot.
    bool create(const Source &source, QString *text);
    // Starts it; a code and *text when that failed at once, else 0.
    int play(QString *text);
    void stop();

    // What rtspsrc reported done (poll's *progress bits).
    enum Progress { Opened = 1, Requested = 2 };
    // Reads what waits on the bus: the code and text of an error or of the
    // end (AVERROR_EOF) when one came, else 0. *progress (when given) gains
    // Opened once the session is set up, Requested once a PLAY or PAUSE
    // request has been answered.
    int poll(QString *text, int *progress = nullptr);
    // The code and text of an error message.
    static int errorOf(GstMessage *message, QString *text);

    GstElement *pipeline() const { return m_pipeline; }
    GstElement *source() const { return m_source; }
    // Adds an element to the pipeline (which then owns it); false when it
    // is null or cannot be added.
    bool add(GstElement *element);

private:
    static int busMessage(GstBus *, GstMessage *message, void *self);

    std::function<void()> m_wake;
    // Set by play(): what the worker built before it is published to
    // GStreamer's threads, which may come from a pool made long before and
    // so see the worker's writes through this flag only (also what
    // ThreadSanitizer can follow).
    std::atomic<bool> m_published{false};
    GstElement *m_pipeline = nullptr;
    GstElement *m_source = nullptr; // owned by the pipeline
    GstBus *m_bus = nullptr;
};
