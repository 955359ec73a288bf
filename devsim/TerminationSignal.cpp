#include "TerminationSignal.h"

#include <atomic>
#include <cstdio>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#endif

namespace devsim {

namespace {
std::atomic<bool> g_received{false};
static_assert(std::atomic<bool>::is_always_lock_free, "flag is set from a signal handler");

#ifdef _WIN32
BOOL WINAPI onConsoleEvent(DWORD)
{
    g_received.store(true);
    return TRUE;
}
#else
void onSignal(int)
{
    g_received.store(true);
}
#endif
} // namespace

void TerminationSignal::install()
{
#ifdef _WIN32
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
#else
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    // A client that vanishes must not kill the device with a broken pipe.
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
#endif
}

void TerminationSignal::watchStandardInput()
{
    // The thread stays blocked in the read until input ends or the process exits.
    std::thread([] {
        char buffer[256];
        while (std::fread(buffer, 1, sizeof buffer, stdin) > 0) {
        }
        g_received.store(true);
    }).detach();
}

bool TerminationSignal::received()
{
    return g_received.load();
}

} // namespace devsim
