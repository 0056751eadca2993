#!/usr/bin/env bash
# Runs ./run.sh as a newcomer would, on a virtual display, and passes only when the main
# window "Blastgrid" is seen on that display; a script that merely exits 0 is not enough.
# usage: scripts/smoke-run.sh [SECONDS]   (default 600: a cold run installs and builds first)
set -euo pipefail
cd "$(dirname "$0")/.."
limit=${1:-600}
command -v xvfb-run >/dev/null || ./scripts/deps.sh
log=$(mktemp)
trap 'rm -f "$log"' EXIT
export SMOKE_LIMIT=$limit SMOKE_LOG=$log
status=0
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  ./run.sh >"$SMOKE_LOG" 2>&1 & pid=$!
  seen=0
  for ((i = 0; i < SMOKE_LIMIT * 5; i++)); do
    # Read the whole tree before matching: a grep -q in a pipe could cut xwininfo short.
    tree=$(xwininfo -root -tree 2>/dev/null || true)
    case $tree in *"\"Blastgrid\": ("*) seen=1; break ;; esac
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.2
  done
  # SIGKILL: with SDL audio up, SIGTERM becomes an event the game reads only in its loop.
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  [ "$seen" = 1 ]' || status=$?
if [ "$status" -ne 0 ]; then
  echo "FAIL: ./run.sh did not show the window \"Blastgrid\" within ${limit}s; its output:"
  cat "$log"
  exit 1
fi
echo "./run.sh showed the window \"Blastgrid\""
