#!/usr/bin/env bash
# Runs the link and media tests under ThreadSanitizer: builds the targets they
# need into build-tsan with ORVANE_SANITIZE=thread and runs each test with the
# suppressions in tests/tsan.supp (reports whose top frame is in the
# uninstrumented Qt libraries). Fails when a test fails or TSan reports
# anything, and when the planted race of tsan_canary goes unreported (the
# suppressions would then be hiding our own races).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
TESTS=(tst_ioconnect tst_ioconnect_lifecycle tst_link_devsim tst_link_playback tst_streamreceive tst_decode tst_rtspreader tst_rtspmedia
       tst_videodecode tst_videodecode_lifetime tst_medialink tst_audio tst_exportjob tst_devsim_playback_ext)
BUILD=${ORVANE_TSAN_BUILD_DIR:-build-tsan}
if [ ! -f "$BUILD/build.ninja" ]; then
  cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DORVANE_SANITIZE=thread -DORVANE_BUILD_BENCH=OFF \
    $(command -v ccache >/dev/null && echo -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake --build "$BUILD" --target devsim tsan_canary "${TESTS[@]}"

# ignore_noninstrumented_modules: what the interceptors (memcpy, free,
# pthread_*) do when Qt calls them is not checked, since TSan cannot see the
# futexes that order Qt's own threads; every access of our instrumented code
# still is.
export TSAN_OPTIONS="halt_on_error=0 report_signal_unsafe=0 die_after_fork=0 ignore_noninstrumented_modules=1 suppressions=$PWD/tests/tsan.supp"
# As under ctest: the client's settings (device key pins) in the build folder,
# beside the keys of the devsims the tests start.
export QT_QPA_PLATFORM=offscreen ORVANE_TEST=1 TZ=Europe/Berlin
export XDG_CONFIG_HOME=$PWD/$BUILD/test-config ORVANE_WSD_TARGET=127.0.0.1:9
# TSan needs the address layout it was built for; newer kernels randomise
# more than it expects ("unexpected memory mapping").
run=()
if command -v setarch >/dev/null 2>&1 && setarch "$(uname -m)" -R true 2>/dev/null; then
  run=(setarch "$(uname -m)" -R)
fi

reports_in() { grep -c 'WARNING: ThreadSanitizer' "$1" || true; }

status=0
log=$BUILD/tsan_canary.log
"${run[@]}" "$BUILD/tests/media/tsan_canary" >"$log" 2>&1 || true
canary=$(reports_in "$log")
if [ "$canary" = 0 ]; then
  echo "tsan: the planted race of tsan_canary was not reported: the suppressions hide our races" >&2
  status=1
else
  echo "tsan: tsan_canary: the planted race is reported ($canary reports), as it must be"
fi

for t in "${TESTS[@]}"; do
  exe=$(find "$BUILD/tests" -type f -name "$t" -perm -u+x | head -n 1)
  log=$BUILD/$t.tsan.log
  if ! "${run[@]}" "$exe" >"$log" 2>&1; then status=1; fi
  reports=$(reports_in "$log")
  echo "tsan: $t: $(grep -m1 '^Totals' "$log" || echo 'no totals'); $reports reports"
  if [ "$reports" != 0 ]; then
    status=1
    grep -A30 'WARNING: ThreadSanitizer' "$log" | head -60 >&2
  fi
done
exit $status
