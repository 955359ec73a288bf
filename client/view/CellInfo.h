#pragma once

#include <QCoreApplication>
#include <QSize>
#include <QString>
#include <QtGlobal>

#include <deque>
#include <optional>

// The figures of a view cell's information overlay: frame and bit rates
// over about the last second, taken from running totals sampled now and
// then (StreamCounters, and the cell's own count of pictures it showed),
// and the overlay's text.
//
// Plain arithmetic, no widgets; any thread, one at a time.
class CellInfo
{
    Q_DECLARE_TR_FUNCTIONS(CellInfo)

public:
    // Running totals at one moment.
    struct Sample
    {
        qint64 ms = 0; // any monotonic clock
        quint64 framesReceived = 0;
        quint64 bytesReceived = 0;
        quint64 framesShown = 0;
    };
    // Rates over the span of the samples kept; nullopt = unknown (fewer than
    // two samples, or a total that went back: a restarted stream).
    struct Rates
    {
        std::optional<double> receivedFps;
        std::optional<double> shownFps;
        std::optional<double> kbitPerSecond;
    };
    // What the overlay lists.
    struct Facts
    {
        QSize resolution; // empty = no picture yet
        int codecId = 0;  // the devices' frame codec id; 0 = none yet
        bool hd = false;
        Rates rates;
    };

    // The rates span at least this much once samples cover it.
    static constexpr qint64 WindowMs = 1000;

    // Adds a sample; samples no later than the last one are ignored.
    void add(const Sample &sample);
    void clear() { m_samples.clear(); }
    Rates rates() const;

    // "H.264", "H.265", the number of another codec; "-" for none.
    static QString codecName(int codecId);
    // Three lines: resolution, codec and SD/HD; frame rates received and
    // shown; bit rate.
    static QString text(const Facts &facts);

private:
    std::deque<Sample> m_samples;
};
