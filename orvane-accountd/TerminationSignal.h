#pragma once

#include <functional>

namespace accountd {

// Calls `onTermination` once on SIGTERM or SIGINT, and optionally when standard input closes
// (so a test harness that dies does not leave the service running); without a callback the
// event loop ends. Main thread, once.
namespace TerminationSignal {

void install(bool watchStandardInput, std::function<void()> onTermination = {});

} // namespace TerminationSignal
} // namespace accountd
