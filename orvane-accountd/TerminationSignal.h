#pragma once

namespace accountd {

// Ends the event loop on SIGTERM or SIGINT, and optionally when standard input closes (so a
// test harness that dies does not leave the service running). Main thread, once.
namespace TerminationSignal {

void install(bool watchStandardInput);

} // namespace TerminationSignal
} // namespace accountd
