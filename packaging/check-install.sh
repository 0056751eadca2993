#!/usr/bin/env bash
# Installs the game into a scratch prefix (with a space in it, to exercise the quoting of the
# menu entry), checks what a desktop needs, starts the installed game read-only and a portable
# copy writable and read-only to see where each keeps config.ini, then uninstalls from the
# manifest the way the install notes say and checks nothing is left.
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
# install_manifest.txt in the build directory stays as it was.
manifest="$build/install_manifest_game.txt"
"$cmake" --install "$build" --prefix "$prefix" --component game >"$tmp/install.log"

# The game, its pictures, sound, font (with its licence), manual page and copyright.
game="$prefix/games/blastgrid"
[ -f "$game" ] && [ -x "$game" ] || bad "no executable at $game"
for f in back.jpg back1.jpg back2.jpg back3.jpg block.png blockrevealed.png flag.png bomb.png \
         clock.png textbox.png expl.wav arialbd.ttf LICENSE-LiberationSans.txt; do
  cmp -s "$src/res/$f" "$prefix/share/blastgrid/res/$f" || bad "res/$f missing or different"
done
[ -s "$prefix/share/man/man6/blastgrid.6.gz" ] || bad "no manual page"
cmp -s "$src/packaging/copyright" "$prefix/share/doc/blastgrid/copyright" || bad "no copyright file"
if [ -f "$game" ]; then
  unresolved=$(ldd "$game" | grep 'not found' || true)
  [ -z "$unresolved" ] || bad "unresolved libraries: $unresolved"
fi

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
  grep -q '<project_license>GPL-3.0-or-later</project_license>' "$meta" || bad "metainfo lacks the licence"
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

# Where config.ini goes, seen from real processes started elsewhere, each by a player who cannot
# write what is read-only (as root: nobody, since root writes anywhere): the installed game,
# read-only, keeps it under XDG_CONFIG_HOME, or ~/.config when that is not set; a portable copy
# (the build's game and res/) keeps it beside itself, and under XDG_CONFIG_HOME once read-only.
if [ -n "$xvfb" ] && [ -f "$game" ]; then
  portable="$tmp/portable" home="$tmp/home"
  mkdir -p "$portable" "$home" "$tmp/xdg"
  cp "$build/app/blastgrid" "$portable/" && cp -r "$src/res" "$portable/"
  chmod 755 "$tmp"
  chmod -R a-w "$prefix"
  as=()
  if [ "$(id -u)" -eq 0 ]; then
    chown -R 65534:65534 "$portable" "$home" "$tmp/xdg"
    as=(setpriv --reuid=65534 --regid=65534 --clear-groups --)
  fi
  cmdline=$(sed -n '/^Exec=/{s/^Exec=//p;q}' "$prefix/share/applications/blastgrid.desktop")
  # The command, the config.ini it must write, XDG_CONFIG_HOME ("-": unset), a path it must not write.
  runs=("$cmdline|$home/.config/blastgrid/config.ini|-|$prefix/games/config.ini"
        "\"$portable/blastgrid\"|$portable/config.ini|$tmp/xdg|$tmp/xdg/blastgrid"
        "\"$portable/blastgrid\"|$tmp/xdg/blastgrid/config.ini|$tmp/xdg|$portable/config.ini")
  for i in "${!runs[@]}"; do
    IFS='|' read -r cmd want xdg absent <<<"${runs[$i]}"
    [ "$i" -eq 2 ] && chmod a-w "$portable"
    # SIGKILL: while SDL's audio is up it turns SIGTERM into an event the game never reads,
    # and config.ini is complete once it exists (it is renamed into place).
    (cd "$tmp" && timeout 180 "$xvfb" -a -s "-screen 0 1280x1024x24" bash -c '
      cmd=$1 want=$2 xdg=$3 home=$4; shift 4
      cp "$XAUTHORITY" xauth && chmod 644 xauth
      unset XDG_CONFIG_HOME; [ "$xdg" = - ] || export XDG_CONFIG_HOME="$xdg"
      HOME="$home" XAUTHORITY="$PWD/xauth" "$@" sh -c "exec $cmd" >game.log 2>&1 & pid=$!
      for _ in $(seq 600); do [ -s "$want" ] && break; kill -0 $pid 2>/dev/null || break; sleep 0.1; done
      kill -KILL $pid 2>/dev/null; wait $pid 2>/dev/null; true' _ "$cmd" "$want" "$xdg" "$home" "${as[@]}") || true
    if ! grep -q "^\[settings\]" "$want" 2>/dev/null; then
      bad "$cmd wrote no $want"; cat "$tmp/game.log" 2>/dev/null || true
    fi
    [ ! -e "$absent" ] || bad "$cmd wrote $absent"
    rm -rf "$home/.config" "$tmp/xdg/blastgrid" "$portable/config.ini"
  done
  chmod -R u+w "$prefix" "$portable"
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
