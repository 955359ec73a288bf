#pragma once

namespace devsim {

// Notices SIGTERM and SIGINT (console close and Ctrl+C on Windows) so that the main loop
// can end cleanly. install() once from the main thread; received() from any thread.
class TerminationSignal
{
public:
    static void install();
    // Also counts the end of standard input as a request to end, so that a harness that dies
    // without stopping devsim does not leave it running. Main thread, once.
    static void watchStandardInput();
    static bool received();
};

} // namespace devsim
