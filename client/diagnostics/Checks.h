#pragma once

#include <QCoreApplication>
#include <QThread>
#include <QtGlobal>

// Soft checks for conditions whose failure is a bug, not an expected case:
//
//     ORVANE_CHECK(ch, return);
//     ORVANE_CHECK(index < count, return false);
//
// A failed check logs the condition with its file and line as a warning and
// runs the action; it never aborts a user's session. Expected cases (a
// device that is offline, a reply that is late) stay plain ifs.
namespace orvane::detail {
void checkFailed(const char *condition, const char *file, int line);
} // namespace orvane::detail

#define ORVANE_CHECK(cond, action)                                                            \
    if (Q_LIKELY(cond)) {                                                                     \
    } else {                                                                                  \
        ::orvane::detail::checkFailed(#cond, __FILE__, __LINE__);                             \
        action;                                                                               \
    }                                                                                         \
    do {                                                                                      \
    } while (false)

// True on the thread that runs the application's event loop (or when there is
// no application object yet).
inline bool onGuiThread()
{
    const QCoreApplication *app = QCoreApplication::instance();
    return !app || QThread::currentThread() == app->thread();
}

// Asserts in debug builds that the caller runs on the GUI thread.
#define ORVANE_ASSERT_GUI_THREAD() Q_ASSERT_X(onGuiThread(), Q_FUNC_INFO, "called off the GUI thread")
