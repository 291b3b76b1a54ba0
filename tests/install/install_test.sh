#!/usr/bin/env bash
# Installs the release archive the way a user does and checks that the
# viewer finds everything the plug-in asks for.
#   install_test.sh WIN32_BUILD_DIR DIST_DIR VERSION
# Builds the archive, checks its sums file and contents, unpacks it into the
# viewer's folder of a fresh Wine prefix, loads the installed DLL in the
# viewer simulator and compares each button image it names with the
# packaged bytes.
set -euo pipefail
build="$(cd "$1" && pwd)"
dist="$(cd "$2" 2>/dev/null && pwd || echo "$2")"
version="$3"
name="VidudUDE-$version.zip"
archive="$dist/$name"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

cmake --build "$build" --target dist >/dev/null
[ -f "$archive" ] || fail "$archive was not made"
(cd "$dist" && sha256sum -c --strict "$name.sha256") || fail "the sums file does not match $name"

expected=$'plugins/VidudUDE.DLL\nplugins/VidudUDE_data/AufmErzeugen_32x32.png\nplugins/VidudUDE_data/VidudUDE_32x32.png'
entries="$(unzip -Z1 "$archive" | LC_ALL=C sort)"
[ "$entries" = "$expected" ] || fail "unexpected archive entries:"$'\n'"$entries"

# The version resource carries the version that names the archive, as the
# UTF-16 text of FileVersion and ProductVersion.
utf16_hex() { printf '%s' "$1" | iconv -f ASCII -t UTF-16LE | od -An -v -tx1 | tr -d ' \n'; }
dll_hex="$(unzip -p "$archive" plugins/VidudUDE.DLL | od -An -v -tx1 | tr -d ' \n')"
[[ "$dll_hex" == *"$(utf16_hex "$version")00"* ]] || fail "the DLL's version resource does not say $version"

export WINEPREFIX="$build/wineprefix-install"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win32
export LC_ALL=C.UTF-8
trap 'wineserver -k 2>/dev/null || true' EXIT
rm -rf "$WINEPREFIX"
wineboot -i >/dev/null 2>&1 || fail "wineboot could not make $WINEPREFIX"
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
wineserver -w

viewer_dir="$WINEPREFIX/drive_c/Program Files/Datacomp/BIM Vision"
mkdir -p "$viewer_dir"
unzip -q "$archive" -d "$viewer_dir"

output="$(wine "$build/tools/viewer_sim/viewer_sim.exe" \
  --plugin 'C:\Program Files\Datacomp\BIM Vision\plugins\VidudUDE.DLL' | tr -d '\r')"
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
  cmp -s "$unix" <(unzip -p "$archive" "plugins/VidudUDE_data/$file") || fail "$image differs from the packaged $file"
  seen+=("$file")
done
[ "${seen[0]}" != "${seen[1]}" ] || fail "both buttons show the same image"
echo "installed $name: both button images found"
