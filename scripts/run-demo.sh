#!/usr/bin/env bash
# Sets up a fresh machine, builds Orvane and starts it: the simulated devices
# of devsim/demo.json on loopback, a throw-away account service (HTTPS with a
# certificate made for this run) whose demo user holds the same devices, then
# the client. Sign in as the printed demo user (cloud) or use the local login
# ("Admin"). Closing the client stops the devices and the service again.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
BUILD_DIR=${ORVANE_BUILD_DIR:-build}

devsim_pid=""
accountd_pid=""
cleanup() {
  for pid in $devsim_pid $accountd_pid; do
    kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true
  done
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
  devices=$(grep -c '"uid"' devsim/demo.json)
  for _ in $(seq 1 100); do
    [ "$(grep -c '^READY ' "$ready" || true)" -ge "$devices" ] && break
    sleep 0.1
  done
  peers=$(awk '/^READY /{printf "%s%s@127.0.0.1:%s", sep, $2, $3; sep=";"}' "$ready")
  export ORVANE_P2P_PEERS="$peers"
  echo "run-demo: simulated devices: $peers"
  grep '^ONVIF ' "$ready" | sed 's/^/run-demo: /' || true
fi

# The account service: a fresh SQLite file and certificate each run.
accountd="$BUILD_DIR/orvane-accountd/orvane-accountd"
if [ -x "$accountd" ] && [ -f devsim/demo.json ] && command -v openssl >/dev/null; then
  state="$XDG_CONFIG_HOME/accountd"
  rm -rf "$state"
  mkdir -p "$state"
  chmod 700 "$state"
  db="sqlite:$state/accounts.db"
  openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 30 \
    -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 \
    -keyout "$state/key.pem" -out "$state/cert.pem" 2>/dev/null
  demo_password=$(openssl rand -hex 6)
  printf '%s\n' "$demo_password" | "$accountd" --db "$db" add-user demo - --nickname "Demo" >/dev/null
  while IFS=$'\t' read -r uid name type channels account password onvif; do
    "$accountd" --db "$db" add-device demo "$uid" "$name" --user "$account" \
      --password "$password" --type "$type" --channels "$channels" \
      ${onvif:+--onvif "$onvif"} >/dev/null
  done < <("$BUILD_DIR/client/orvane-demo-setup" devsim/demo.json --list)
  "$accountd" --db "$db" --listen 127.0.0.1:0 --tls-cert "$state/cert.pem" \
    --tls-key "$state/key.pem" >"$state/ready" 2>"$state/log" &
  accountd_pid=$!
  for _ in $(seq 1 100); do
    grep -q '^READY ' "$state/ready" && break
    sleep 0.1
  done
  port=$(awk '/^READY /{print $2}' "$state/ready")
  if [ -n "$port" ]; then
    "$BUILD_DIR/client/orvane-demo-setup" devsim/demo.json \
      --account-url "https://127.0.0.1:$port" --ca-file "$state/cert.pem" >/dev/null
    echo "run-demo: account service https://127.0.0.1:$port"
    echo "run-demo: cloud login: user \"demo\", password \"$demo_password\" (or the local login)"
  else
    echo "run-demo: the account service did not start (see $state/log); local login only" >&2
  fi
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run-demo: no display found; running under xvfb-run" >&2
  xvfb-run -a -s "-screen 0 1920x1080x24" "$BUILD_DIR/client/orvane" "$@"
else
  "$BUILD_DIR/client/orvane" "$@"
fi
