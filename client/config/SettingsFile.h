#pragma once

#include <QString>

#include <functional>
#include <memory>

class QSettings;

// One INI settings file, read through QSettings and rewritten atomically:
// every change is made on a staged copy, and the finished file replaces the
// old one in a single rename (QSaveFile), so a crash or a full disk in the
// middle of a write leaves the previous file in place.
//
// Reads parse a private copy of the file, so each read sees the file as it
// is on disk now (QSettings' process-wide cache could otherwise answer from
// an older version of equal size and time stamp) and a damaged file is
// recognised. GUI thread only.
class SettingsFile
{
public:
    using Settings = std::shared_ptr<QSettings>;

    // A file larger than this reads as damaged (the largest configuration,
    // StoredLimits::MaxDevices devices with names and passwords at their
    // longest, takes under 4 MiB).
    static constexpr qint64 MaxFileSize = 16 * 1024 * 1024;

    explicit SettingsFile(const QString &path);

    QString path() const { return m_path; }

    // The file's content for reading, or null when the file exists but cannot
    // be read or parsed; callers then use their defaults. A missing file
    // reads as empty settings.
    Settings open() const;

    // Applies edit to a staged copy of the current content and replaces the
    // file with the result. A file that cannot be parsed is kept next to it
    // as "<name>.corrupt" and the edit starts from empty settings. Returns
    // false when nothing could be written; the old file is then unchanged.
    bool update(const std::function<void(QSettings &)> &edit);

    // True when the file can be created or replaced.
    bool isWritable() const;

    // Test seam: the next `count` writes stop after half the content and are
    // abandoned, as if the process had died in the middle of the write.
    static void interruptWritesForTesting(int count);

private:
    enum class Load { Ok, Missing, Unreadable, Damaged };
    // Copies the file into a new staging folder and opens it there.
    Settings stage(Load *load) const;
    // The readable entries and the edit, staged afresh (null: none).
    Settings rewriteReadable(const std::function<void(QSettings &)> &edit);

    QString m_path;
};
