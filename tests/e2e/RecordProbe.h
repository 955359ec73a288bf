#pragma once

// What FFmpeg's own tools say of a recorded file: the checks every
// recording test applies (ffprobe and ffmpeg must accept the file, its
// streams, its first packet a key frame, its length).

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

inline bool haveTools()
{
    return !QStandardPaths::findExecutable(QStringLiteral("ffprobe")).isEmpty() &&
           !QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty();
}

// What FFmpeg's tools say about a file.
struct Probe
{
    QString errors;      // ffprobe -v error and ffmpeg -v error decoding, joined
    QStringList streams; // "codec_name,codec_type"
    int videoPackets = 0;
    bool startsWithKey = false;
    double videoSeconds = 0; // first packet's start to last packet's end
};

inline QString run(const QString &program, const QStringList &args, QString *out = nullptr)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(120000))
        return program + QStringLiteral(" did not finish");
    if (out)
        *out = QString::fromUtf8(p.readAllStandardOutput());
    const QString err = QString::fromUtf8(p.readAllStandardError()).trimmed();
    if (p.exitCode() != 0)
        return program + QStringLiteral(" failed: ") + err;
    return err;
}

inline Probe probe(const QString &file)
{
    Probe r;
    QString out;
    QStringList errors{run(
        "ffprobe",
        {"-v", "error", "-show_entries", "stream=codec_name,codec_type", "-of", "csv=p=0", file},
        &out)};
    r.streams = out.split('\n', Qt::SkipEmptyParts);
    errors << run("ffprobe",
                  {"-v", "error", "-select_streams", "v:0", "-show_entries",
                   "packet=pts_time,duration_time,flags", "-of", "csv=p=0", file},
                  &out);
    const QStringList packets = out.split('\n', Qt::SkipEmptyParts);
    r.videoPackets = int(packets.size());
    if (!packets.isEmpty()) {
        const QStringList first = packets.first().split(',');
        const QStringList last = packets.last().split(',');
        r.startsWithKey = first.value(2).startsWith('K');
        r.videoSeconds =
            last.value(0).toDouble() + last.value(1).toDouble() - first.value(0).toDouble();
    }
    errors << run("ffmpeg", {"-v", "error", "-i", file, "-f", "null", "-"});
    errors.removeAll(QString());
    r.errors = errors.join('\n');
    return r;
}

inline void saveArtifact(const QString &file, const QString &name)
{
    const QString dir = qEnvironmentVariable("ORVANE_TEST_ARTIFACTS");
    if (dir.isEmpty() || file.isEmpty())
        return;
    QDir().mkpath(dir);
    QFile::remove(QDir(dir).filePath(name));
    QFile::copy(file, QDir(dir).filePath(name));
}
