#!/usr/bin/env python3
"""CPU of process trees from /proc: proc_cpu.py WARMUP_S DURATION_S PID [PID...]

Waits WARMUP_S, then measures DURATION_S of wall time and prints one line
"<percent of one core> <seconds of CPU> <wall seconds> <processes>": the utime + stime of every
given process and its descendants (all threads), CPU seconds / wall seconds.
A process that starts during the window counts from its start; one that ends in it is lost.
"""

import os
import sys
import time

TICK = os.sysconf('SC_CLK_TCK')


def table():
    """pid -> (ppid, utime + stime in ticks) of every process."""
    out = {}
    for name in os.listdir('/proc'):
        if not name.isdigit():
            continue
        try:
            with open('/proc/%s/stat' % name) as f:
                stat = f.read()
        except OSError:
            continue
        fields = stat[stat.rindex(')') + 2:].split()
        out[int(name)] = (int(fields[1]), int(fields[11]) + int(fields[12]))
    return out


def tree(procs, roots):
    children = {}
    for pid, (ppid, _) in procs.items():
        children.setdefault(ppid, []).append(pid)
    seen, todo = set(), [r for r in roots if r in procs]
    while todo:
        pid = todo.pop()
        if pid in seen:
            continue
        seen.add(pid)
        todo.extend(children.get(pid, []))
    return {pid: procs[pid][1] for pid in seen}


def main():
    warmup, duration = float(sys.argv[1]), float(sys.argv[2])
    roots = [int(p) for p in sys.argv[3:]]
    time.sleep(warmup)
    t0 = time.monotonic()
    a = tree(table(), roots)
    time.sleep(duration)
    b = tree(table(), roots)
    t1 = time.monotonic()
    ticks = sum(v - a.get(pid, 0) for pid, v in b.items())
    cpu = ticks / TICK
    print('%.1f %.2f %.2f %d' % (100.0 * cpu / (t1 - t0), cpu, t1 - t0, len(b)))


if __name__ == '__main__':
    main()
