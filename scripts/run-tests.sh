#!/usr/bin/env bash
# Sets up a fresh machine, builds everything and runs every test:
# GUI tests under a virtual X server, sound through a PulseAudio null sink.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/check-layers.sh
bash scripts/build.sh
BUILD_DIR=${ORVANE_BUILD_DIR:-build}

# A private PulseAudio server with a null sink, stopped again on exit.
export XDG_RUNTIME_DIR
XDG_RUNTIME_DIR=$(mktemp -d)
pulse_started=0
if command -v pulseaudio >/dev/null 2>&1; then
  if pulseaudio -D -n --exit-idle-time=-1 --disallow-exit \
       --load="module-null-sink sink_name=null" \
       --load="module-native-protocol-unix" >/dev/null 2>&1; then
    pulse_started=1
  else
    echo "run-tests: PulseAudio did not start; sound tests will skip" >&2
  fi
fi
cleanup() {
  if [ "$pulse_started" = 1 ]; then pulseaudio -k >/dev/null 2>&1 || true; fi
  rm -rf "$XDG_RUNTIME_DIR"
}
trap cleanup EXIT

xvfb-run -a -s "-screen 0 1920x1080x24" \
  ctest --test-dir "$BUILD_DIR" --output-on-failure --timeout 600 "$@"
