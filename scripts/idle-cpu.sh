#!/usr/bin/env bash
# CPU and memory of the game at rest: starts the default window under Xvfb
# (Mesa's software OpenGL), lets it settle, then measures the game's CPU time
# over 10 seconds and its resident memory, split anonymous / file-backed.
#
#   scripts/idle-cpu.sh [--game PATH] [--seconds N] [--style 0|1|2] [--field N]
#
# --style picks the background ("Change Background" is pressed as needed;
# 0 is the animated cross-fade), --field a square field of N x N blocks
# (started with New Game from a config.ini of that size).
set -euo pipefail
cd "$(dirname "$0")/.."
game=build/app/blastgrid
seconds=10
style=1
field=""
while [ $# -gt 0 ]; do
  case "$1" in
    --game) game=$2; shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    --style) style=$2; shift 2 ;;
    --field) field=$2; shift 2 ;;
    *) echo "unknown argument: $1" >&2; exit 2 ;;
  esac
done
[ -x "$game" ] || { echo "no game at $game (build first)" >&2; exit 1; }
command -v xdotool >/dev/null || ./scripts/deps.sh

# The game keeps config.ini and res/ beside itself: run a copy in a scratch directory.
dir=$(mktemp -d /tmp/blastgrid-idle-XXXXXX)
trap 'rm -rf "$dir"' EXIT
cp "$game" "$dir/blastgrid"
ln -s "$PWD/res" "$dir/res"
if [ -n "$field" ]; then
  printf '[minefield]\r\nWidth=%s\r\nHeight=%s\r\nMines=%s\r\n' "$field" "$field" $((field * field / 8)) >"$dir/config.ini"
fi

cat >"$dir/measure.sh" <<'EOF'
set -euo pipefail
dir=$1 seconds=$2 style=$3 field=$4
"$dir/blastgrid" >/dev/null 2>&1 &
pid=$!
for _ in $(seq 100); do
  win=$(xdotool search --pid "$pid" --name '^Blastgrid$' 2>/dev/null | head -1 || true)
  [ -n "$win" ] && break
  sleep 0.1
done
[ -n "$win" ] || { echo "the window did not appear" >&2; kill "$pid"; exit 1; }
# Without a window manager the keyboard follows the pointer: rest it on the menu bar.
xdotool mousemove --window "$win" 100 5
key() { xdotool key "$1"; sleep 0.3; }
[ -n "$field" ] && key F2
# Background styles cycle 1 -> 2 -> 0 -> 1.
case "$style" in 2) key F7 ;; 0) key F7; key F7 ;; esac
sleep 3  # past the opening flash and the first field's effect
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
xpid=$(pgrep -f "^Xvfb ${DISPLAY} " | head -1 || true)
g0=$(ticks "$pid"); x0=$([ -n "$xpid" ] && ticks "$xpid" || echo 0); t0=$(date +%s.%N)
sleep "$seconds"
g1=$(ticks "$pid"); x1=$([ -n "$xpid" ] && ticks "$xpid" || echo 0); t1=$(date +%s.%N)
hz=$(getconf CLK_TCK)
awk -v g="$((g1 - g0))" -v x="$((x1 - x0))" -v hz="$hz" -v t0="$t0" -v t1="$t1" -v s="$style" 'BEGIN {
  wall = t1 - t0
  printf "background style %s, %.1f s: game %.1f %% of a core, X server %.1f %%\n", s, wall, 100 * g / hz / wall, 100 * x / hz / wall
}'
awk '/^(RssAnon|RssFile|RssShmem|VmRSS):/ {printf "%s %.1f MB  ", $1, $2 / 1024} END {print ""}' "/proc/$pid/status"
kill "$pid"
EOF
xvfb-run -a -s "-screen 0 1280x1024x24" bash "$dir/measure.sh" "$dir" "$seconds" "$style" "$field"
