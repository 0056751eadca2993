#!/usr/bin/env bash
# Installs the game into a scratch prefix (with a space in it, to exercise the quoting of the
# menu entry), checks what a desktop needs, starts the game through its launcher, then
# uninstalls from the manifest the way the install notes say and checks nothing is left.
# usage: check-install.sh CMAKE BUILD_DIR APP_ID [APPSTREAMCLI] [DESKTOP_FILE_VALIDATE] [XVFB_RUN]
set -euo pipefail
cmake=$1 build=$2 appid=$3 appstreamcli=${4:-} validate=${5:-} xvfb=${6:-}
src=$(cd "$(dirname "$0")/.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
prefix="$tmp/inst dir"
failures=0
bad() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Installing one named component writes a manifest of its own, so a real install's
# install_manifest.txt in the build directory stays as it was. Every rule here uses CMake's
# default component; its name is read from the generated install script.
component=$(sed -nE '/CMAKE_INSTALL_COMPONENT STREQUAL/{s/.*STREQUAL "([^"]+)".*/\1/p;q}' "$build/packaging/cmake_install.cmake")
[ -n "$component" ] || { echo "FAIL: no install component found"; exit 1; }
manifest="$build/install_manifest_$component.txt"
"$cmake" --install "$build" --prefix "$prefix" --component "$component" >"$tmp/install.log"

# The game's own directory: executable, pictures, sound, font, licence; writable for config.ini.
game="$prefix/blastgrid/blastgrid"
[ -f "$game" ] && [ -x "$game" ] || bad "no executable at $game"
for f in back.jpg back1.jpg back2.jpg back3.jpg block.png blockrevealed.png flag.png bomb.png \
         clock.png textbox.png expl.wav arialbd.ttf LICENSE-LiberationSans.txt; do
  cmp -s "$src/res/$f" "$prefix/blastgrid/res/$f" || bad "res/$f missing or different"
done
if [ -f "$game" ]; then
  unresolved=$(ldd "$game" | grep 'not found' || true)
  [ -z "$unresolved" ] || bad "unresolved libraries: $unresolved"
fi
touch "$prefix/blastgrid/config.ini.probe" && rm "$prefix/blastgrid/config.ini.probe" || bad "game directory not writable"

# The launcher on PATH.
launcher="$prefix/bin/blastgrid"
[ -L "$launcher" ] && [ "$(readlink -f "$launcher")" = "$(readlink -f "$game")" ] || bad "bin/blastgrid does not lead to the game"

# The menu entry.
desktop="$prefix/share/applications/blastgrid.desktop"
key() { sed -n "/^$1=/{s/^$1=//p;q}" "$desktop"; }
if [ -f "$desktop" ]; then
  [ "$(head -n 1 "$desktop")" = "[Desktop Entry]" ] || bad "desktop entry lacks its group header"
  [ "$(key Type)" = "Application" ] || bad "Type=$(key Type)"
  [ "$(key Name)" = "Blastgrid" ] || bad "Name=$(key Name)"
  [ "$(key Categories)" = "Game;LogicGame;" ] || bad "Categories=$(key Categories)"
  [ "$(key Icon)" = "blastgrid" ] || bad "Icon=$(key Icon)"
  [ "$(key Terminal)" = "false" ] || bad "Terminal=$(key Terminal)"
  [ "$(key TryExec)" = "$game" ] || bad "TryExec=$(key TryExec), want $game"
  # The prefix has a space, so the path must be quoted.
  [ "$(key Exec)" = "\"$game\"" ] || bad "Exec=$(key Exec), want \"$game\""
  if [ -n "$validate" ]; then "$validate" "$desktop" || bad "desktop-file-validate rejects the entry"; fi
else
  bad "no $desktop"
fi

# Icons in the hicolor theme: PNGs of the size their directory names.
for n in 16 32 48 64 128 256; do
  icon="$prefix/share/icons/hicolor/${n}x${n}/apps/blastgrid.png"
  if [ ! -f "$icon" ]; then bad "no ${n}x${n} icon"; continue; fi
  sig=$(od -An -tx1 -N8 "$icon" | tr -d ' \n')
  [ "$sig" = "89504e470d0a1a0a" ] || bad "${n}x${n} icon is not a PNG"
  w=$(od -An -tu4 --endian=big -j16 -N4 "$icon" | tr -d ' ')
  h=$(od -An -tu4 --endian=big -j20 -N4 "$icon" | tr -d ' ')
  [ "$w" = "$n" ] && [ "$h" = "$n" ] || bad "${n}x${n} icon is ${w}x${h}"
done

# AppStream metadata, naming the menu entry.
meta="$prefix/share/metainfo/$appid.metainfo.xml"
if [ -f "$meta" ]; then
  grep -q "<id>$appid</id>" "$meta" || bad "metainfo id is not $appid"
  grep -q '<launchable type="desktop-id">blastgrid.desktop</launchable>' "$meta" || bad "metainfo does not name blastgrid.desktop"
  if [ -n "$appstreamcli" ]; then
    "$appstreamcli" validate --no-net "$meta" || bad "appstreamcli rejects the metainfo"
  else
    bad "appstreamcli not found (scripts/deps.sh installs appstream)"
  fi
else
  bad "no $meta"
fi

# The manifest lists exactly what was installed, so uninstalling from it is complete.
(cd "$prefix" && find . \( -type f -o -type l \) | sed "s|^\.|$prefix|" | sort) >"$tmp/installed"
sort "$manifest" >"$tmp/listed"
diff -u "$tmp/listed" "$tmp/installed" || bad "install manifest differs from the installed files"

# Started through the launcher from elsewhere, the game writes config.ini beside itself.
if [ -n "$xvfb" ] && [ -f "$game" ]; then
  export BG_LAUNCHER="$launcher" BG_CONFIG="$prefix/blastgrid/config.ini"
  # SIGKILL: while SDL's audio is up it turns SIGTERM into an event the game never reads,
  # and config.ini is complete once it exists (it is renamed into place).
  (cd "$tmp" && timeout 180 "$xvfb" -a -s "-screen 0 1280x1024x24" bash -c '
    "$BG_LAUNCHER" >game.log 2>&1 & pid=$!
    for _ in $(seq 600); do [ -s "$BG_CONFIG" ] && break; kill -0 $pid 2>/dev/null || break; sleep 0.1; done
    kill -KILL $pid 2>/dev/null; wait $pid 2>/dev/null; true') || true
  if grep -q "^\[settings\]" "$prefix/blastgrid/config.ini" 2>/dev/null; then
    rm "$prefix/blastgrid/config.ini"
  else
    bad "the launched game wrote no config.ini beside itself"; cat "$tmp/game.log" 2>/dev/null || true
  fi
fi

xargs -d '\n' rm -f -- <"$manifest"
left=$(find "$prefix" \( -type f -o -type l \) | sed -n '1,5p')
[ -z "$left" ] || bad "left after uninstalling: $left"
rm -f "$manifest"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "install layout OK"
