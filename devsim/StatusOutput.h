#pragma once

#include <QByteArray>
#include <QString>

namespace devsim {

// Writes the status lines that tests and people read on standard output.
// Every line is written whole and flushed at once. Any thread.
class StatusOutput
{
public:
    static void line(const QString &text);

    // Lower-case hex of the bytes without separators; "-" for no bytes.
    static QString hex(const QByteArray &bytes);
};

} // namespace devsim
