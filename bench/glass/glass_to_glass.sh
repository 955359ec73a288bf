#!/usr/bin/env bash
# Glass to glass: one devsim RTSP stream whose pictures carry the sender's clock, shown at the
# same time by the client, ffplay and mpv side by side on one Xvfb screen. Screenshots of the
# whole screen are read back (bench/glass/clock_reader.py); each player's age of the picture it
# shows is the screenshot's time minus the clock in that picture.
#
#   bench/glass/glass_to_glass.sh [--shots N] [--interval S] [--size WxH] [--shown WxH]
#                                 [--warmup S] [--build DIR] [--keep DIR]
#
# --size is the stream's picture; --shown the size at which ffplay and mpv show it, by default
# that of the client's one cell in its default window (848x590), so that all three draw as many
# pixels: under Xvfb every pixel is drawn by the CPU (Mesa's llvmpipe), about 16 ns each on a
# busy 2-core machine, 8 ms for the client's cell.
#
# Prints figures only; needs scripts/install-bench-deps.sh on a fresh Debian 12.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
shots=40
interval=0.25
size=640x360
shown=848x590
warmup=6
build="$root/build"
keep=""
while [ $# -gt 0 ]; do
    case "$1" in
        --shots) shots=$2; shift 2 ;;
        --interval) interval=$2; shift 2 ;;
        --size) size=$2; shift 2 ;;
        --shown) shown=$2; shift 2 ;;
        --warmup) warmup=$2; shift 2 ;;
        --build) build=$2; shift 2 ;;
        --keep) keep=$2; shift 2 ;;
        -h|--help) sed -n '2,16p' "$0"; exit 0 ;;
        *) echo "unknown argument: $1" >&2; exit 2 ;;
    esac
done
for tool in Xvfb xwd ffplay mpv python3; do
    command -v "$tool" >/dev/null || { echo "missing $tool: run scripts/install-bench-deps.sh" >&2; exit 2; }
done
for bin in "$build/devsim/devsim" "$build/client/orvane"; do
    [ -x "$bin" ] || { echo "missing $bin: build it first" >&2; exit 2; }
done
python3 "$here/clock_reader.py" selftest >/dev/null || { echo "clock reader self-test failed" >&2; exit 1; }

w=${shown%x*}
h=${shown#*x}
# The client centres its window (about 1080x720) on the screen: ffplay goes to its left, mpv
# to its right, and the reader looks for one picture in each of the three columns.
client_w=1120
screen_w=$((2 * (w + 20) + client_w))
screen_h=$((h + 40 > 800 ? h + 40 : 800))
player_y=$(((screen_h - h) / 2))
ffplay_x=10
mpv_x=$((screen_w - w - 10))
work=$(mktemp -d /tmp/glass.XXXXXX)
pids=()
cleanup() {
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[$i]}" 2>/dev/null || true
    done
    for pid in "${pids[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    if [ -n "$keep" ]; then
        mkdir -p "$keep" && cp -r "$work"/. "$keep"/
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# Our own X screen.
exec 5>"$work/display"
Xvfb -displayfd 5 -screen 0 "${screen_w}x${screen_h}x24" -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$work/display")"

# The camera.
"$build/devsim/devsim" --uid GLASS1 --rtsp 0 --pattern clock --hd "$size" --sd "$size" \
    --wsd-port 0 >"$work/devsim.log" 2>&1 &
pids+=($!)
url=""
for _ in $(seq 100); do
    url=$(sed -n 's/^RTSP GLASS1 \(rtsp:\/\/[^ ]*\/0\/main\)$/\1/p' "$work/devsim.log" | head -n1)
    [ -n "$url" ] && break
    sleep 0.1
done
[ -n "$url" ] || { echo "devsim gave no RTSP URL:" >&2; cat "$work/devsim.log" >&2; exit 1; }
auth_url=${url/rtsp:\/\//rtsp://admin:123456@}

# The players. The client keeps its settings in a throw-away folder.
mkdir -p "$work/home/config" "$work/home/data" "$work/home/cache"
XDG_CONFIG_HOME="$work/home/config" XDG_DATA_HOME="$work/home/data" \
    XDG_CACHE_HOME="$work/home/cache" \
    "$build/client/orvane" --local --live "$auth_url" >"$work/client.log" 2>&1 &
pids+=($!)
ffplay -hide_banner -loglevel warning -fflags nobuffer -flags low_delay -an -noborder \
    -left "$ffplay_x" -top "$player_y" -x "$w" -y "$h" -window_title ffplay "$auth_url" \
    >"$work/ffplay.log" 2>&1 &
pids+=($!)
mpv --no-config --profile=low-latency --untimed --no-audio --no-border --no-osc --no-keepaspect \
    --geometry="${w}x${h}+${mpv_x}+${player_y}" --title=mpv "$auth_url" >"$work/mpv.log" 2>&1 &
pids+=($!)

sleep "$warmup"
: >"$work/shots.tsv"
for i in $(seq "$shots"); do
    before=$(date +%s%3N)
    xwd -root -silent >"$work/shot$i.xwd"
    after=$(date +%s%3N)
    echo "$work/shot$i.xwd $before $after" >>"$work/shots.tsv"
    sleep "$interval"
done
for pid in "${pids[@]:1}"; do
    kill -0 "$pid" 2>/dev/null || echo "note: a player (pid $pid) had exited before the end" >&2
done

echo "glass to glass: $size H.264 at 25 fps over RTSP from devsim, shown at $shown (client: its cell), on this machine ($(nproc) cores)"
echo "age = screenshot time (middle of xwd) - sender's clock in the picture shown"
python3 "$here/clock_reader.py" report "$work/shots.tsv" \
    "client=$((w + 20)),0,$client_w,$screen_h" "ffplay=0,0,$((w + 20)),$screen_h" \
    "mpv=$((w + 20 + client_w)),0,$((w + 20)),$screen_h" --ref mpv
if [ -n "$keep" ]; then
    python3 "$here/clock_reader.py" png "$work/shot$shots.xwd" "$work/last-shot.png"
fi
