#!/usr/bin/env bash
# Sets up a fresh machine, builds everything and runs every test twice: in the
# normal build and in a build with AddressSanitizer and UBSan (any report ends
# the test that caused it); the link and media tests run a third time under
# ThreadSanitizer (scripts/tsan.sh, its own partial build). GUI tests run
# under a virtual X server, sound goes through a PulseAudio null sink.
# ORVANE_SANITIZED_RUN=0 skips the sanitizer runs.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/check-layers.sh
bash scripts/build.sh
BUILD_DIR=${ORVANE_BUILD_DIR:-build}
SAN_DIR=${BUILD_DIR}-asan
SANITIZED=${ORVANE_SANITIZED_RUN:-1}
if [ "$SANITIZED" = 1 ]; then
  ORVANE_BUILD_DIR=$SAN_DIR \
  ORVANE_CMAKE_ARGS="-DORVANE_SANITIZE=address,undefined -DORVANE_BUILD_BENCH=OFF -DORVANE_FUZZ_REPLAY=ON" \
    bash scripts/build.sh
fi

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

suite() {
  local dir=$1
  shift
  xvfb-run -a -s "-screen 0 1920x1080x24" \
    ctest --test-dir "$dir" --output-on-failure --timeout 900 "$@"
}

if [ "$SANITIZED" = 1 ]; then
  echo "run-tests: the suite under AddressSanitizer and UBSan ($SAN_DIR)"
  # Leak checks are off: Mesa, fontconfig and Qt keep process-lifetime
  # allocations that LeakSanitizer would report at every exit.
  ASAN_OPTIONS=detect_leaks=0:abort_on_error=0:halt_on_error=1:detect_stack_use_after_return=0 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    suite "$SAN_DIR" "$@"
fi
if [ "$SANITIZED" = 1 ]; then
  echo "run-tests: the link and media tests under ThreadSanitizer"
  bash scripts/tsan.sh
fi
echo "run-tests: the suite in the normal build ($BUILD_DIR)"
suite "$BUILD_DIR" "$@"
echo "run-tests: the Debian packages from $BUILD_DIR (scripts/package.sh --check)"
bash scripts/package.sh --check --build "$BUILD_DIR"
