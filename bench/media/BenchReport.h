#pragma once

#include "DecodeAlone.h"
#include "MediaRun.h"

#include <QJsonArray>
#include <QSize>
#include <QString>

#include <optional>

// The benchmark's output: a human-readable table on stdout as the runs
// finish, or, in JSON mode, one JSON object on stdout at the end.
//
// Threads: GUI thread.
class BenchReport
{
public:
    struct Machine
    {
        int cores = 0;
        QString cpu;
        QString platform; // Qt platform plugin
    };

    // libavcodec alone over one picture size's recorded bitstream.
    struct DecodeAloneResult
    {
        QSize size;
        int frames = 0;
        std::optional<DecodeAlone::Figures> single;
        std::optional<DecodeAlone::Figures> frameThreads;
        std::optional<DecodeAlone::Figures> sliceThreads;
    };

    BenchReport(bool json, const Machine &machine);

    // Plain: the header and the table's column heads.
    void begin();
    // A finished run; singleCpuMs: libavcodec alone, one thread, for its size;
    // nDecodersCpuMs: libavcodec alone with as many decoders as the run has
    // channels (DecodeAlone::measureInterleaved).
    void addRun(const RunResult &r, std::optional<double> singleCpuMs,
                std::optional<double> nDecodersCpuMs);
    void addDecodeAlone(const DecodeAloneResult &d);
    // Plain: the libavcodec table and the notes; JSON: the whole object.
    void end(double elapsedSeconds, bool drawingMeasured);

private:
    void printDecodeAloneTable() const;

    bool m_json;
    Machine m_machine;
    QJsonArray m_runs;
    QJsonArray m_decodeAlone;
    QList<DecodeAloneResult> m_decodeAloneResults;
};
