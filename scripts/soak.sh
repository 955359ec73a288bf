#!/usr/bin/env bash
# Soak run of the client: 16 live channels over 4 devsim recorders, one recording, a fault
# every 20-60 s; prints a row of figures every minute and a summary (scripts/soak.py).
#   scripts/soak.sh DURATION [--build DIR] [--sequence N] [--keep DIR]     e.g. scripts/soak.sh 30m
# Not part of the test command. Needs Xvfb and ffprobe (scripts/install-bench-deps.sh) and a
# build of devsim, orvane and orvane-demo-setup.
set -euo pipefail
exec python3 "$(cd "$(dirname "$0")" && pwd)/soak.py" "$@"
