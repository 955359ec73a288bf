#!/usr/bin/env bash
# Wall CPU: 16 live 640x360 25 fps H.264 streams of one devsim recorder drawn at once, under
# Xvfb, by
#   (a) the client, 16 RTSP URLs in its 16-window grid,
#   (b) the client, the same 16 channels over P2P (--live UID:1..16),
#   (c) 16 mpv windows (270x170, tiled) on the same RTSP URLs.
# Each runs WARMUP s, then its CPU is measured for DURATION s: utime + stime of the player's
# process tree from /proc over wall time, in % of one core. devsim's own CPU is not counted.
#
#   bench/wall/wall_cpu.sh [--warmup S] [--duration S] [--build DIR] [--keep DIR]
#
# Prints figures only; needs scripts/install-bench-deps.sh on a fresh Debian 12.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
warmup=5
duration=20
build="$root/build"
keep=""
while [ $# -gt 0 ]; do
    case "$1" in
        --warmup) warmup=$2; shift 2 ;;
        --duration) duration=$2; shift 2 ;;
        --build) build=$2; shift 2 ;;
        --keep) keep=$2; shift 2 ;;
        -h|--help) sed -n '2,13p' "$0"; exit 0 ;;
        *) echo "unknown argument: $1" >&2; exit 2 ;;
    esac
done
for tool in Xvfb mpv python3; do
    command -v "$tool" >/dev/null || { echo "missing $tool: run scripts/install-bench-deps.sh" >&2; exit 2; }
done
for bin in "$build/devsim/devsim" "$build/client/orvane" "$build/client/orvane-demo-setup"; do
    [ -x "$bin" ] || { echo "missing $bin: build it first" >&2; exit 2; }
done

uid=WALL0000000000000016
channels=16
work=$(mktemp -d /tmp/wall.XXXXXX)
pids=()     # long-lived: Xvfb, devsim
players=()  # the players of the current case
stop_players() {
    for pid in "${players[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${players[@]}"; do wait "$pid" 2>/dev/null || true; done
    players=()
}
cleanup() {
    stop_players
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[$i]}" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    if [ -n "$keep" ]; then mkdir -p "$keep" && cp -r "$work"/. "$keep"/; fi
    rm -rf "$work"
}
trap cleanup EXIT

exec 5>"$work/display"
Xvfb -displayfd 5 -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$work/display")"

# One 16-channel recorder, P2P and RTSP, started afresh for each case (a devsim that served
# RTSP clients was seen to fail when they left, and each case should find the same device).
# --shared-stream: one encoder feeds every channel, so devsim's encoding does not crowd the
# players out of the 2 cores this was written on.
devsim_pid=""
port=""
urls=()
start_devsim() { # case name
    "$build/devsim/devsim" --uid "$uid" --name wall --type 2 --channels "$channels" \
        --hd 640x360 --sd 640x360 --fps 25 --shared-stream --rtsp 0 --wsd-port 0 \
        >"$work/devsim-$1.log" 2>&1 &
    devsim_pid=$!
    pids+=("$devsim_pid")
    port=""
    for _ in $(seq 100); do
        port=$(sed -n "s/^READY $uid \([0-9]*\)$/\1/p" "$work/devsim-$1.log" | head -n1)
        [ -n "$port" ] && grep -q "^RTSP $uid .*/$((channels - 1))/main$" "$work/devsim-$1.log" \
            && break
        sleep 0.1
    done
    [ -n "$port" ] || { echo "devsim did not start:" >&2; cat "$work/devsim-$1.log" >&2; exit 1; }
    mapfile -t urls < <(sed -n "s/^RTSP $uid rtsp:\/\/\(.*\/main\)$/rtsp:\/\/admin:123456@\1/p" \
        "$work/devsim-$1.log")
    [ "${#urls[@]}" -eq "$channels" ] || { echo "expected $channels RTSP URLs" >&2; exit 1; }
    export ORVANE_P2P_PEERS="$uid@127.0.0.1:$port"
}
stop_devsim() { # case name
    kill -0 "$devsim_pid" 2>/dev/null || echo "note: devsim ended during $1" >&2
    kill "$devsim_pid" 2>/dev/null || true
    wait "$devsim_pid" 2>/dev/null || true
}

# The client's settings live in a throw-away folder; the recorder is registered there for P2P.
export XDG_CONFIG_HOME="$work/home/config" XDG_DATA_HOME="$work/home/data" \
    XDG_CACHE_HOME="$work/home/cache"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME"
printf '[{"uid": "%s", "name": "wall", "type": 2, "channels": %d, "account": "admin", "password": "123456"}]\n' \
    "$uid" "$channels" >"$work/devices.json"
"$build/client/orvane-demo-setup" "$work/devices.json" >"$work/setup.log" 2>&1 \
    || { echo "orvane-demo-setup failed:" >&2; cat "$work/setup.log" >&2; exit 1; }

measure() { # case name: the players' CPU into $work/<case>.cpu, then ends the case
    python3 "$here/proc_cpu.py" "$warmup" "$duration" "${players[@]}" >"$work/$1.cpu"
    for pid in "${players[@]}"; do
        kill -0 "$pid" 2>/dev/null || echo "note: a player of $1 (pid $pid) exited early" >&2
    done
    stop_players
    stop_devsim "$1"
}
cpu_of() { cut -d' ' -f1 "$work/$1.cpu"; }

p2p_list=$(for ch in $(seq "$channels"); do printf '%s%s:%d' "$([ "$ch" -gt 1 ] && echo ,)" "$uid" "$ch"; done)

start_devsim client-rtsp
rtsp_list=$(IFS=,; echo "${urls[*]}")
"$build/client/orvane" --local --live "$rtsp_list" >"$work/client-rtsp.log" 2>&1 &
players=($!)
measure client-rtsp
client_rtsp=$(cpu_of client-rtsp)

start_devsim client-p2p
"$build/client/orvane" --local --live "$p2p_list" >"$work/client-p2p.log" 2>&1 &
players=($!)
measure client-p2p
client_p2p=$(cpu_of client-p2p)

start_devsim mpv
for i in $(seq 0 $((channels - 1))); do
    x=$(((i % 4) * 280 + 10))
    y=$(((i / 4) * 180 + 10))
    mpv --no-config --profile=low-latency --hwdec=no --vo=gpu --gpu-context=x11egl --no-audio \
        --no-border --no-osc --geometry="270x170+$x+$y" --title="mpv $((i + 1))" "${urls[$i]}" \
        >"$work/mpv-$i.log" 2>&1 &
    players+=($!)
done
measure mpv
mpv_rtsp=$(cpu_of mpv)

echo "wall CPU: $channels streams 640x360 H.264 25 fps, ${warmup} s warm-up, ${duration} s measured, Xvfb 1280x800, $(nproc) cores"
echo "CPU = utime + stime of the player's process tree / wall time, % of one core (devsim not counted)"
printf '%-28s %8s\n' "case" "CPU %"
printf '%-28s %8s\n' "client, 16 x RTSP" "$client_rtsp"
printf '%-28s %8s\n' "client, 16 x P2P" "$client_p2p"
printf '%-28s %8s\n' "mpv, 16 windows x RTSP" "$mpv_rtsp"
python3 - "$client_rtsp" "$client_p2p" "$mpv_rtsp" <<'EOF'
import sys
rtsp, p2p, mpv = (float(v) for v in sys.argv[1:])
if mpv > 0:
    print('client/mpv RTSP: %.2f' % (rtsp / mpv))
    print('client/mpv P2P:  %.2f (client over P2P against mpv over RTSP)' % (p2p / mpv))
EOF
