#include "TerminationSignal.h"

#include <QCoreApplication>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <thread>

#ifndef _WIN32
#include <signal.h>
#endif

namespace accountd::TerminationSignal {

namespace {
std::atomic<bool> g_received{false};
static_assert(std::atomic<bool>::is_always_lock_free, "flag is set from a signal handler");

#ifndef _WIN32
void onSignal(int)
{
    g_received.store(true);
}
#endif
} // namespace

void install(bool watchStandardInput, std::function<void()> onTermination)
{
#ifndef _WIN32
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
#endif
    if (watchStandardInput) {
        // The thread stays blocked in the read until input ends or the process exits.
        std::thread([] {
            char buffer[256];
            while (std::fread(buffer, 1, sizeof buffer, stdin) > 0) {
            }
            g_received.store(true);
        }).detach();
    }
    auto *poll = new QTimer(QCoreApplication::instance());
    if (!onTermination)
        onTermination = [] { QCoreApplication::quit(); };
    QObject::connect(poll, &QTimer::timeout, poll, [poll, onTermination] {
        if (!g_received.load())
            return;
        poll->stop();
        onTermination();
    });
    poll->start(100);
}

} // namespace accountd::TerminationSignal
