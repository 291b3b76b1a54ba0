#!/usr/bin/env bash
# Checks an installation of the plug-in in the Wine prefix WINEPREFIX: the
# viewer simulator loads C:\Program Files\Datacomp\BIM Vision\plugins\VidudUDE.DLL
# as the viewer does, and each button image the plug-in names must exist
# in the prefix with the bytes of the packaged image.
#   tools/check_install.sh [BUILD_DIR]   (BUILD_DIR: build/, where ./run build put the simulator)
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(realpath "${1:-$here/build}")"
: "${WINEPREFIX:?WINEPREFIX must name the Wine prefix to check}"
export WINEDEBUG="${WINEDEBUG:--all}"

fail() {
  echo "check_install: $*" >&2
  exit 1
}

output="$(wine "$build/win32/tools/viewer_sim/viewer_sim.exe" \
  --plugin 'C:\Program Files\Datacomp\BIM Vision\plugins\VidudUDE.DLL' | tr -d '\r')" ||
  fail "the viewer simulator failed:"$'\n'"$output"
echo "$output" | sed -n '/^--- calls ---$/q;p'

mapfile -t images < <(printf '%s\n' "$output" | sed -n 's/^button [0-9]*: .* image "\(.*\)", \(en\|dis\)abled$/\1/p')
[ "${#images[@]}" -eq 2 ] || fail "expected two buttons with images, found ${#images[@]}"
seen=()
for image in "${images[@]}"; do
  file="$(basename "${image//\\//}")"
  case "$file" in
    VidudUDE_32x32.png | AufmErzeugen_32x32.png) ;;
    *) fail "a button names an image that is not packaged: $image" ;;
  esac
  unix="$(winepath -u "$image" 2>/dev/null)"
  [ -f "$unix" ] || fail "$image does not exist in the prefix"
  cmp -s "$unix" "$here/plugin/images/$file" || fail "$image differs from the packaged $file"
  seen+=("$file")
done
[ "${seen[0]}" != "${seen[1]}" ] || fail "both buttons show the same image"
echo "the plug-in is installed in $WINEPREFIX: it loads and both button images are found"
