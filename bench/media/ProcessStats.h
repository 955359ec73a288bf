#pragma once

#include <QString>
#include <QtGlobal>

// Figures of this process, another process and the machine, read from the
// operating system (Linux /proc; elsewhere what the C library offers).
//
// Threads: any thread.
namespace ProcessStats {

// CPU time (user + system) of this process, all threads, in seconds.
double cpuSeconds();
// CPU time of another process in seconds; -1 when it cannot be read.
double cpuSecondsOf(qint64 pid);
// Resident memory of this process in MiB; -1 when unknown.
double residentMiB();
// Hands freed heap memory back to the system where the C library can, so
// that the next residentMiB() baseline is not padded by earlier work.
void trimHeap();

int cpuCores();
// The processor's model name ("unknown" when it cannot be read).
QString cpuModel();

} // namespace ProcessStats
