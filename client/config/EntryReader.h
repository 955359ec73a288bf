#pragma once

#include <QString>

#include <optional>

class QSettings;

// Reads the values of one entry of a QSettings array (the array index already set), each
// brought into its bounds; every correction is logged once with its key, never with the
// value itself. Used by SettingsArrays. GUI thread only.
class EntryReader
{
public:
    // The entry `index` (from 0) of `array`, a path such as "layout" or "layout/2/cell".
    EntryReader(QSettings &s, const QString &array, int index);

    // Number of entries of an array below the current group, bounded by the entries present,
    // so that a damaged "size" cannot make a reader loop over phantom entries.
    static int arrayEntries(QSettings &s, const QString &array);
    // Number of entries to read from an array: those present, at most limit.
    static int entriesToRead(QSettings &s, const QString &array, int limit);

    // "array/n/", the prefix of this entry's keys in the log.
    QString prefix() const { return m_prefix; }

    // The stored number; fallback when absent or not a number, and the
    // nearer end of minimum .. maximum when outside it.
    int number(const char *field, int fallback, int minimum, int maximum) const;
    // The stored number; none when absent, not a number or outside minimum .. maximum, with
    // a warning naming the consequence (none for an absent value that mayBeAbsent).
    std::optional<int> exactNumber(const char *field, int minimum, int maximum,
                                   const char *consequence, bool mayBeAbsent = false) const;

    // The stored text, decoded.
    QString text(const char *field) const;
    // The stored text, decoded (out may be null: the check alone). False, with
    // a warning naming the consequence, when a value is stored that is not an encoded text.
    bool encodedText(const char *field, QString *out,
                     const char *consequence = "entry skipped") const;
    // The stored text, decoded and cut to maxLength characters: names and
    // secrets of a listed entry are kept, so that the user sees the entry and
    // can correct it (a cut password just fails the sign-in).
    QString cutText(const char *field, int maxLength) const;

    void warn(const char *field, const QString &what) const;

private:
    QSettings &m_s;
    QString m_prefix;
};
