#!/usr/bin/env bash
# Builds both Debian packages and checks them with lintian; installs them with apt into a clean
# Debian 12 root made with debootstrap; starts the installed game there through its menu
# entry's command, as a normal user under Xvfb, until its window shows and it has written
# ~/.config/blastgrid/config.ini; starts the list server with its unit's command and options
# (systemd does not run in a chroot) and has the build's headless game announce a game on it
# and find it in the list; then removes the packages and checks nothing of them is left.
# Needs root. The pristine root is kept in /var/tmp/blastgrid-debroot for later runs; each run
# works in a copy of it, removed at the end.
# usage: packaging/check-deb.sh [BUILD_DIR]      (default: build)
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$src/build}")
cache=/var/tmp/blastgrid-debroot
[ "$(id -u)" -eq 0 ] || { echo "check-deb.sh needs root (debootstrap, chroot, mount)"; exit 2; }
step() { echo "== $*"; }
fail() { echo "FAIL: $*"; exit 1; }

needed=()
for p in debootstrap lintian dpkg-dev; do
  [ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)" = "install ok installed" ] || needed+=("$p")
done
if [ ${#needed[@]} -ne 0 ]; then
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${needed[@]}" >/dev/null
fi

step "building the packages"
cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target blastgrid blastgrid-listserver blastgrid-headless >/dev/null
version=$(sed -nE 's/^project\(Blastgrid VERSION ([0-9.]+).*/\1/p' "$src/CMakeLists.txt")
debs=("$build/blastgrid_${version}_amd64.deb" "$build/blastgrid-listserver_${version}_amd64.deb")
rm -f "${debs[@]}"
(cd "$build" && cpack -G DEB >/dev/null)
for deb in "${debs[@]}"; do
  [ -f "$deb" ] || fail "cpack made no $deb"
  echo "$(basename "$deb"): $(dpkg-deb -f "$deb" Depends)"
done

step "lintian"
lint=0
lintian --tag-display-limit 0 "${debs[@]}" >"$build/lintian.log" 2>&1 || lint=$?
grep -v 'root privileges' "$build/lintian.log" || true
[ "$lint" -eq 0 ] || fail "lintian reports errors"
echo "lintian: no errors"
if command -v systemd-analyze >/dev/null; then
  # The unit names the installed program and manual page, which this machine need not have.
  systemd-analyze verify "$src/packaging/blastgrid-listserver.service" 2>&1 |
    grep -Ev "is not executable|Command 'man " || echo "systemd-analyze verify: the unit is sound"
fi

step "a clean Debian 12 root"
# The mirror apt on this machine uses.
mirror=$(sed -nE 's/^URIs: *([^ ]+\/debian)$/\1/p' /etc/apt/sources.list.d/*.sources 2>/dev/null | head -n 1)
mirror=${mirror:-http://deb.debian.org/debian}
if [ ! -f "$cache/base/.complete" ]; then
  rm -rf "$cache/base" && mkdir -p "$cache"
  timeout 1800 debootstrap --variant=minbase bookworm "$cache/base" "$mirror" >"$cache/debootstrap.log" 2>&1 ||
    { tail -n 20 "$cache/debootstrap.log"; fail "debootstrap failed"; }
  touch "$cache/base/.complete"
fi
root="$cache/run-$$"
mounted=()
cleanup() {
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount -l "${mounted[i]}" 2>/dev/null || true; done
  [ -n "${server:-}" ] && kill "$server" 2>/dev/null
  rm -rf --one-file-system "$root"
}
trap cleanup EXIT
cp -a "$cache/base" "$root"
for m in proc dev dev/pts; do
  case $m in proc) mount -t proc proc "$root/proc" ;; *) mount --bind "/$m" "$root/$m" ;; esac
  mounted+=("$root/$m")
done
mount -t tmpfs tmpfs "$root/dev/shm" && mounted+=("$root/dev/shm")
cp /etc/resolv.conf "$root/etc/resolv.conf"
# The same suites as this machine (the packages were linked against their libraries).
if ls /etc/apt/sources.list.d/*.sources >/dev/null 2>&1; then
  rm -f "$root/etc/apt/sources.list" && cp /etc/apt/sources.list.d/*.sources "$root/etc/apt/sources.list.d/"
fi
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d" && chmod 755 "$root/usr/sbin/policy-rc.d"
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive "$@"; }

step "installing with apt"
cp "${debs[@]}" "$root/tmp/"
in_root apt-get update -qq
in_root apt-get install -y -qq xvfb xauth x11-utils "/tmp/$(basename "${debs[0]}")" "/tmp/$(basename "${debs[1]}")" \
  >"$root/tmp/apt.log" 2>&1 || { tail -n 30 "$root/tmp/apt.log"; fail "apt could not install the packages"; }
grep -E '^(Setting up|Unpacking) blastgrid' "$root/tmp/apt.log" || true
in_root useradd -m -s /bin/sh player
wants=/etc/systemd/system/multi-user.target.wants/blastgrid-listserver.service
[ -L "$root$wants" ] || fail "the list server's unit was not enabled"
echo "enabled: $wants"

step "the game, as a normal user"
in_root su player -c '! test -w /usr/games && ! test -w /usr/share/blastgrid' || fail "the installation is writable by the player"
cat >"$root/tmp/start-game.sh" <<'EOF'
# The command the menu entry runs; the game is done starting once its window shows.
cmd=$(sed -n '/^Exec=/{s/^Exec=//p;q}' /usr/share/applications/blastgrid.desktop)
echo "Exec=$cmd"
sh -c "exec $cmd" >"$HOME/game.log" 2>&1 & pid=$!
for _ in $(seq 600); do
  xwininfo -root -tree 2>/dev/null | grep -q '"Blastgrid"' && [ -s "$HOME/.config/blastgrid/config.ini" ] && break
  kill -0 $pid 2>/dev/null || break
  sleep 0.1
done
xwininfo -root -tree | grep '"Blastgrid"' | head -n 1
kill -KILL $pid 2>/dev/null
wait $pid 2>/dev/null
echo "--- game output"; cat "$HOME/game.log"
EOF
in_root su - player -c 'xvfb-run -a -s "-screen 0 1280x1024x24" sh /tmp/start-game.sh' | tee "$root/tmp/game.out"
grep -q '"Blastgrid"' "$root/tmp/game.out" || fail "the game's window did not show"
config="$root/home/player/.config/blastgrid/config.ini"
grep -q '^\[settings\]' "$config" || fail "no ~/.config/blastgrid/config.ini"
echo "~/.config/blastgrid/config.ini ($(in_root stat -c '%U %a' /home/player/.config/blastgrid/config.ini)):"; tr -d '\r' <"$config" | sed 's/^/  /'

step "the list server, with its unit's command"
unit="$root/lib/systemd/system/blastgrid-listserver.service"
exec_start=$(sed -n 's/^ExecStart=//p' "$unit")
echo "ExecStart=$exec_start"
port=$((20000 + RANDOM % 20000))
sed -i "s/^BLASTGRID_LISTSERVER_ARGS=.*/BLASTGRID_LISTSERVER_ARGS=\"--port $port\"/" "$root/etc/default/blastgrid-listserver"
# The chroot shares this machine's network: the server is reached on the loopback.
chroot --userspec=nobody:nogroup "$root" env -i sh -c \
  "set -a; . /etc/default/blastgrid-listserver; exec $exec_start" >"$root/tmp/listserver.log" 2>&1 &
server=$!
for _ in $(seq 100); do (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break; sleep 0.1; done
work=$(mktemp -d)
printf '[network]\r\nName=DebCheck\r\nServerListIP=127.0.0.1\r\nServerListPort=%s\r\nServerPort=%s\r\n' \
  "$port" $((port + 1)) >"$work/config.ini"
printf 'hostb\nrun 1500\nrefresh\nrun 1500\ndump\nquit\n' |
  timeout 60 "$build/tools/headless/blastgrid-headless" "$work/game" "$work/config.ini" >"$work/out" 2>&1 || true
listed=$(grep '^list ' "$work/out" || true)
echo "the headless game, after announcing a game and refreshing: $listed"
[[ $listed == *DebCheck* ]] || { cat "$work/out" "$root/tmp/listserver.log"; fail "the list server did not list the announced game"; }
rm -rf "$work"
kill "$server" && wait "$server" 2>/dev/null || true
server=

step "removing the packages"
in_root apt-get purge -y -qq blastgrid blastgrid-listserver >/dev/null
for f in /usr/games/blastgrid /usr/games/blastgrid-listserver /usr/share/blastgrid /usr/share/applications/blastgrid.desktop \
         /lib/systemd/system/blastgrid-listserver.service /etc/default/blastgrid-listserver "$wants"; do
  [ ! -e "$root$f" ] && [ ! -L "$root$f" ] || fail "$f is left after purging"
done
echo "check-deb: OK"
