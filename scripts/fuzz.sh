#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/) into build-fuzz/, every library
# instrumented with ASan and UBSan, and runs each target for SECONDS (default
# 300) from a scratch copy of its corpus (fuzz/corpus/<target>/ is not grown).
# Prints each target's final coverage line; exits non-zero when a target
# crashed, leaked or hung, naming the input that did it.
#
#   scripts/fuzz.sh [SECONDS]
#   ORVANE_FUZZ_JOBS=2 scripts/fuzz.sh 60    # two targets at a time (default 1)
#   ORVANE_FUZZ_TARGETS="fuzz_ioctrl fuzz_config" scripts/fuzz.sh
set -uo pipefail
cd "$(dirname "$0")/.."

SECONDS_EACH=${1:-300}
JOBS=${ORVANE_FUZZ_JOBS:-1}
BUILD_DIR=build-fuzz
ALL_TARGETS=(fuzz_ioctrl fuzz_onvif fuzz_clouddevlist fuzz_config fuzz_textencoding
             fuzz_devsim_iocontrol fuzz_devsim_config fuzz_p2p_wire)
read -r -a TARGETS <<<"${ORVANE_FUZZ_TARGETS:-${ALL_TARGETS[*]}}"

# Longest input per target: room for its largest sensible message.
max_len() {
  case "$1" in
    fuzz_ioctrl) echo 4200 ;;        # a record list of 255 entries
    fuzz_clouddevlist | fuzz_config) echo 8192 ;;
    fuzz_textencoding | fuzz_devsim_iocontrol) echo 1024 ;;
    fuzz_onvif) echo 16384 ;;        # a profile list of a few channels
    *) echo 4096 ;;
  esac
}

# clang, libFuzzer's runtime and llvm-symbolizer (for readable stacks).
probe='extern "C" int LLVMFuzzerTestOneInput(const unsigned char *, unsigned long) { return 0; }'
if ! command -v llvm-symbolizer >/dev/null ||
   ! echo "$probe" | clang++ -x c++ -fsanitize=fuzzer - -o /dev/null 2>/dev/null; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  echo "fuzz: installing clang, llvm and libclang-rt-dev"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends clang llvm libclang-rt-dev || exit 1
fi
scripts/install-deps.sh || exit 1

if [ ! -f "$BUILD_DIR/build.ninja" ]; then
  launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  CC=clang CXX=clang++ cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DORVANE_FUZZ=ON -DORVANE_BUILD_TESTS=OFF -DORVANE_BUILD_BENCH=OFF "${launcher[@]}" || exit 1
fi
cmake --build "$BUILD_DIR" --target "${TARGETS[@]}" || exit 1

SCRATCH=$(mktemp -d)
trap 'rm -rf "$SCRATCH"' EXIT
ARTIFACTS="$BUILD_DIR/fuzz-artifacts"
mkdir -p "$ARTIFACTS"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}

run_one() {
  local t=$1
  mkdir -p "$SCRATCH/$t"
  cp -r "fuzz/corpus/$t/." "$SCRATCH/$t/"
  "$BUILD_DIR/fuzz/$t" "$SCRATCH/$t" -max_total_time="$SECONDS_EACH" -max_len="$(max_len "$t")" \
    -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$ARTIFACTS/$t-" \
    >"$SCRATCH/$t.log" 2>&1
  echo $? >"$SCRATCH/$t.rc"
}

echo "fuzz: ${#TARGETS[@]} targets, ${SECONDS_EACH}s each, $JOBS at a time"
running=0
for t in "${TARGETS[@]}"; do
  run_one "$t" &
  running=$((running + 1))
  if [ "$running" -ge "$JOBS" ]; then
    wait -n
    running=$((running - 1))
  fi
done
wait

failed=0
for t in "${TARGETS[@]}"; do
  rc=$(cat "$SCRATCH/$t.rc" 2>/dev/null || echo 1)
  cov=$(grep -E '^#[0-9]+.*cov:' "$SCRATCH/$t.log" | tail -n 1)
  speed=$(grep -o 'average_exec_per_sec: *[0-9]*' "$SCRATCH/$t.log" | grep -o '[0-9]*$')
  printf '%-22s %s  (%s exec/s)\n' "$t" "${cov:-no coverage line}" "${speed:-?}"
  if [ "$rc" -ne 0 ]; then
    failed=1
    cp "$SCRATCH/$t.log" "$ARTIFACTS/$t.log"
    echo "  FAILED (exit $rc), log in $ARTIFACTS/$t.log"
    grep -E 'ERROR: |runtime error:|Test unit written to' "$SCRATCH/$t.log" | sed 's/^/  /'
  fi
done
exit "$failed"
