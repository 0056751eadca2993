#!/usr/bin/env bash
# CPU, wakes and memory of the game at rest: starts the default window under
# Xvfb (Mesa's software OpenGL), lets it settle, then measures the game's CPU
# time and how often its threads woke (voluntary context switches) over 60
# seconds, and its resident memory, split anonymous / file-backed.
#
#   scripts/idle-cpu.sh [--game PATH] [--seconds N] [--style 0|1|2] [--field N] [--move] [--check]
#
# --style picks the background ("Change Background" is pressed as needed;
# 0 is the animated cross-fade), --field a square field of N x N blocks
# (started with New Game from a config.ini of that size), --move keeps the
# pointer moving over the board the whole time. --check fails unless the
# targets for the field are met: at rest at most 0.3 % of a core (and for
# 9 x 9 at most 2 wakes a second), anonymous memory at most 35 MB (9 x 9),
# 45 MB (290 x 290) or 70 MB (1000 x 1000); the pointer moving over a
# 1000 x 1000 field at most 15 %.
set -euo pipefail
cd "$(dirname "$0")/.."
game=build/app/blastgrid
seconds=60
style=1
field=""
move=0
check=0
while [ $# -gt 0 ]; do
  case "$1" in
    --game) game=$2; shift 2 ;;
    --seconds) seconds=$2; shift 2 ;;
    --style) style=$2; shift 2 ;;
    --field) field=$2; shift 2 ;;
    --move) move=1; shift ;;
    --check) check=1; shift ;;
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
dir=$1 seconds=$2 style=$3 field=$4 move=$5 check=$6
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
# Voluntary switches, each a wake after a sleep: the main thread's (the
# program's own), and all threads' (the GL driver's and the toolkit's too).
switches() { cat "$@" 2>/dev/null | awk '/^voluntary_ctxt_switches:/ {s += $2} END {print s + 0}'; }
wakes() { echo "$(switches /proc/"$1"/task/"$1"/status) $(switches /proc/"$1"/task/*/status)"; }
mover=""
if [ "$move" = 1 ]; then
  # Across the board and back, a step every 10 ms (about the rate a mouse
  # reports), chained in one xdotool so that starting it does not set the pace.
  steps=()
  for x in $(seq 150 8 630) $(seq 630 -8 150); do steps+=(mousemove --window "$win" "$x" $((x / 2 + 100)) sleep 0.01); done
  ( while :; do xdotool "${steps[@]}"; done ) 2>/dev/null &
  mover=$!
fi
xpid=$(pgrep -f "^Xvfb ${DISPLAY} " | head -1 || true)
g0=$(ticks "$pid"); read -r w0 a0 < <(wakes "$pid"); x0=$([ -n "$xpid" ] && ticks "$xpid" || echo 0); t0=$(date +%s.%N)
sleep "$seconds"
g1=$(ticks "$pid"); read -r w1 a1 < <(wakes "$pid"); x1=$([ -n "$xpid" ] && ticks "$xpid" || echo 0); t1=$(date +%s.%N)
[ -n "$mover" ] && kill "$mover"
hz=$(getconf CLK_TCK)
anon=$(awk '/^RssAnon:/ {print $2 / 1024}' "/proc/$pid/status")
awk '/^(RssAnon|RssFile|RssShmem|VmRSS):/ {printf "%s %.1f MB  ", $1, $2 / 1024} END {print ""}' "/proc/$pid/status"
kill "$pid"
awk -v g="$((g1 - g0))" -v w="$((w1 - w0))" -v a="$((a1 - a0))" -v x="$((x1 - x0))" -v hz="$hz" -v t0="$t0" -v t1="$t1" -v s="$style" \
    -v f="${field:-default}" -v m="$move" -v c="$check" -v anon="$anon" 'BEGIN {
  wall = t1 - t0; cpu = 100 * g / hz / wall; wps = w / wall
  printf "field %s, background style %s, %s, %.1f s: game %.2f %% of a core, %.1f wakes a second (all threads %.1f), X server %.1f %%, anonymous %.1f MB\n", \
      f, s, m ? "pointer moving" : "at rest", wall, cpu, wps, a / wall, 100 * x / hz / wall, anon
  if (!c) exit 0
  bad = 0
  if (m) { if (cpu > 15) { print "over target: more than 15 % of a core with the pointer moving"; bad = 1 } }
  else {
    if (cpu > 0.3) { print "over target: more than 0.3 % of a core at rest"; bad = 1 }
    if (f == 9 && wps > 2) { print "over target: more than 2 wakes a second at rest"; bad = 1 }
  }
  lim = f == 9 ? 35 : f == 290 ? 45 : f == 1000 ? 70 : 0
  if (lim && anon > lim) { printf "over target: more than %d MB anonymous\n", lim; bad = 1 }
  exit bad
}' 
EOF
xvfb-run -a -s "-screen 0 1280x1024x24" bash "$dir/measure.sh" "$dir" "$seconds" "$style" "$field" "$move" "$check"
