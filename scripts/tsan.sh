#!/usr/bin/env bash
# Runs the link and media tests under ThreadSanitizer (not part of CI):
# builds build-tsan with ORVANE_SANITIZE=thread and runs each test with the
# suppressions in tests/tsan.supp (races seen only through the uninstrumented
# Qt libraries). Exits non-zero when a test fails or TSan reports anything.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
TESTS=(tst_ioconnect tst_link_devsim tst_streamreceive tst_decode tst_videodecode tst_medialink)
ORVANE_BUILD_DIR=build-tsan \
ORVANE_CMAKE_ARGS="-DORVANE_SANITIZE=thread -DORVANE_BUILD_BENCH=OFF" \
  bash scripts/build.sh
export TSAN_OPTIONS="halt_on_error=0 report_signal_unsafe=0 die_after_fork=0 suppressions=$PWD/tests/tsan.supp"
export QT_QPA_PLATFORM=offscreen ORVANE_TEST=1
status=0
for t in "${TESTS[@]}"; do
  exe=$(find build-tsan/tests -type f -name "$t" -perm -u+x | head -n 1)
  log=build-tsan/$t.tsan.log
  if ! "$exe" >"$log" 2>&1; then status=1; fi
  reports=$(grep -c 'WARNING: ThreadSanitizer' "$log" || true)
  echo "tsan: $t: $(grep -m1 '^Totals' "$log" || echo 'no totals'); $reports reports"
  [ "$reports" = 0 ] || status=1
done
exit $status
