#!/usr/bin/env bash
# Rebuilds resgen and regenerates res/: pictures, sound, application icons, the bundled font and its licence.
# Output is deterministic, so an unchanged generator leaves res/ byte-identical.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="${RESGEN_BUILD_DIR:-${TMPDIR:-/tmp}/build-resgen}"
font_dir=/usr/share/fonts/truetype/liberation2
font_doc=/usr/share/doc/fonts-liberation2/copyright

# Configured on its own so unrelated work-in-progress elsewhere in the tree cannot block it.
cmake -S "$root/tools/resgen" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 >/dev/null
mkdir -p "$root/res"
"$build/resgen" "$root/res"

# Liberation Sans Bold is metric-compatible with the bold sans the game's layout was made for.
cp "$font_dir/LiberationSans-Bold.ttf" "$root/res/arialbd.ttf"
# The OFL asks for its text beside the font: take the font stanza of the Debian copyright
# file and undo its markup (one-space indent, "." for blank lines, "?" for lost dashes).
{
  echo "res/arialbd.ttf is LiberationSans-Bold.ttf from the Liberation Fonts, unmodified."
  echo
  awk '
    /^Files: \*$/ { on = 1; next }
    on && /^Files: / { exit }
    on && /^Copyright:/ { print "Copyright:"; next }
    on && /^License: / { print ""; next }
    on {
      sub(/^ /, "")
      if ($0 == ".") $0 = ""
      gsub(/ \? /, " -- "); sub(/ \?$/, " --")
      print
    }' "$font_doc"
} | sed -e :a -e '/^\n*$/{$d;N;ba' -e '}' > "$root/res/LICENSE-LiberationSans.txt"
echo "regenerated $root/res"
