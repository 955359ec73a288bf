// A planted race for ThreadSanitizer runs: a media worker and the GUI thread
// bump one plain counter with nothing ordering them. scripts/tsan.sh runs it
// apart from the tests and fails unless TSan reports it, which proves that
// the suppressions leave our own races visible.

#include "link/WorkerPool.h"

#include <QCoreApplication>
#include <QtGlobal>
#include <QTimer>

#include <atomic>
#include <cstdio>

namespace {

int counter = 0; // deliberately unguarded

Q_NEVER_INLINE void bump()
{
    for (int i = 0; i < 100000; ++i)
        ++counter;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    std::atomic<bool> started{false};
    SerialQueue worker(WorkerPool::media());
    worker.post([&] {
        started = true;
        bump();
    });
    QTimer::singleShot(0, &app, [&] {
        while (!started.load(std::memory_order_relaxed)) {
        }
        bump();
        worker.drain();
        std::printf("canary counter %d\n", counter);
        app.quit();
    });
    return app.exec();
}
