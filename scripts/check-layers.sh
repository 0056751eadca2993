#!/usr/bin/env bash
# Fails when an include goes up the layers, or when Qt, OpenGL or SDL is named
# outside platform/backends/ and app/main.cpp. Each layer may include only
# itself and the layers listed for it below.
#   --counts  also prints the non-blank lines of each layer and the links between layers
set -euo pipefail
cd "$(dirname "$0")/.."

# The layer of a file, from its path.
layer_of() {
  case "$1" in
    platform/backends/*) echo backends ;;
    platform/*) echo platform ;;
    minefield/*) echo minefield ;;
    net/message.* | net/message_table.*) echo codec ;;
    net/*) echo session ;;
    render/*) echo render ;;
    app/main.cpp) echo main ;;
    app/*) echo app ;;
    tools/*) echo tools ;;
    bench/*) echo bench ;;
    fuzz/*) echo fuzz ;;
    tests/*) echo tests ;;
    *) echo other ;;
  esac
}

# What each layer may include.
allowed() {
  case "$1" in
    platform) echo "platform" ;;
    minefield) echo "platform minefield" ;;
    codec) echo "platform codec" ;;
    session) echo "platform minefield codec session" ;;
    render) echo "platform minefield render" ;;
    app) echo "platform minefield codec session render app" ;;
    backends) echo "platform backends" ;;
    main) echo "platform minefield codec session render app backends" ;;
    tools | bench | fuzz) echo "platform minefield codec session render app backends tools bench fuzz" ;;
    tests) echo "platform minefield codec session render app backends tools bench fuzz tests" ;;
    *) echo "" ;;
  esac
}

# Tracked and new files alike; outside a git checkout, every file but build trees.
if ! sources=$(git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h' 2>/dev/null); then
  sources=$(find . -path './build*' -prune -o \( -name '*.cpp' -o -name '*.h' \) -print | sed 's|^\./||')
fi
bad=0
declare -A links
for file in $sources; do
  from=$(layer_of "$file")
  ok=" $(allowed "$from") "
  while IFS=: read -r line inc; do
    [ -n "$inc" ] || continue
    to=$(layer_of "$inc")
    [ "$to" = other ] && continue
    [ "$from" != "$to" ] && links["$from -> $to"]=$(( ${links["$from -> $to"]:-0} + 1 ))
    if [[ "$ok" != *" $to "* ]]; then
      echo "$file:$line: the $from layer includes \"$inc\" of the $to layer; $from may include only: $(allowed "$from")"
      bad=1
    fi
  done < <(grep -n -o -E '^#include "[^"]+"' "$file" | sed -E 's/^([0-9]+):#include "(.*)"/\1:\2/')
  case "$from" in
    backends | main | tests | bench | fuzz | other) ;;
    *)
      if grep -n -E '^#include <(Q[A-Za-z]|GL/|SDL)' "$file"; then
        echo "$file: Qt, OpenGL and SDL belong in platform/backends/ only"
        bad=1
      fi ;;
  esac
done

if [ "${1:-}" = --counts ]; then
  echo "Non-blank lines per layer:"
  for l in platform minefield codec session render app main backends tools tests bench fuzz; do
    n=0
    for file in $sources; do
      [ "$(layer_of "$file")" = "$l" ] || continue
      n=$(( n + $(grep -c -v -E '^[[:space:]]*$' "$file" || true) ))
    done
    printf '  %-10s %6d\n' "$l" "$n"
  done
  echo "Includes between layers:"
  for k in "${!links[@]}"; do printf '  %-24s %4d\n' "$k" "${links[$k]}"; done | sort
fi

if [ "$bad" != 0 ]; then
  echo "check-layers: includes go against the layers (see above)" >&2
  exit 1
fi
echo "check-layers: every include goes one way"
