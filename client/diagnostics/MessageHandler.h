#pragma once

#include <QByteArray>
#include <QString>
#include <QTime>
#include <QtGlobal>

class QMessageLogContext;

// The application's Qt message handler (any thread): writes the message to
// standard error ("Warning: text\n", ...) and posts it to SystemInfo, which
// re-emits it on the GUI thread as debugMsg(). Credentials in the text are
// masked first (maskSecrets). A fatal message aborts the process after it is
// printed.
void orvaneMessageHandler(QtMsgType type, const QMessageLogContext &context,
                          const QString &message);

// Creates SystemInfo on the calling (GUI) thread and installs the handler.
void installMessageHandler();

// Line of the debug log page: tag, time, "]" and text, e.g.
// "[WARNING-14:03:07]x". Empty for an unknown type.
QString debugPageLine(QtMsgType type, const QString &text, const QTime &time);

// Line written to standard error, e.g. "Warning: x\n" (local 8-bit).
QByteArray standardErrorLine(QtMsgType type, const QString &text);
