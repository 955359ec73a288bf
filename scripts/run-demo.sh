#!/usr/bin/env bash
# Sets up a fresh machine, builds Orvane and starts it: the simulated devices
# of devsim/demo.json on loopback, then the client. Closing the client stops
# the simulated devices again.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
BUILD_DIR=${ORVANE_BUILD_DIR:-build}

devsim_pid=""
cleanup() {
  if [ -n "$devsim_pid" ]; then kill "$devsim_pid" 2>/dev/null || true; wait "$devsim_pid" 2>/dev/null || true; fi
}
trap cleanup EXIT

# The demo keeps its settings in a folder of its own; the user's stay untouched.
export XDG_CONFIG_HOME="$PWD/$BUILD_DIR/demo-config"
mkdir -p "$XDG_CONFIG_HOME"

if [ -x "$BUILD_DIR/devsim/devsim" ] && [ -f devsim/demo.json ]; then
  "$BUILD_DIR/client/orvane-demo-setup" devsim/demo.json
  ready="$BUILD_DIR/demo-config/devsim.out"
  "$BUILD_DIR/devsim/devsim" --config devsim/demo.json >"$ready" &
  devsim_pid=$!
  for _ in $(seq 1 100); do
    [ "$(grep -c '^READY ' "$ready" || true)" -ge 3 ] && break
    sleep 0.1
  done
  peers=$(awk '/^READY /{printf "%s%s@127.0.0.1:%s", sep, $2, $3; sep=";"}' "$ready")
  export ORVANE_P2P_PEERS="$peers"
  echo "run-demo: simulated devices: $peers"
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run-demo: no display found; running under xvfb-run" >&2
  xvfb-run -a -s "-screen 0 1920x1080x24" "$BUILD_DIR/client/orvane" "$@"
else
  "$BUILD_DIR/client/orvane" "$@"
fi
