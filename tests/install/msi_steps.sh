#!/usr/bin/env bash
# The Windows Installer package in a Wine prefix that holds a viewer
# folder, as an IT department pushes it: silent install (with the installed
# diagnosis run against the simulators, tests/install/diagnose_steps.sh),
# repair (REINSTALL=ALL) by the same package, upgrade by a newer one built
# here, a refused downgrade, removal; then the same into a folder named by
# INSTALLDIR, where the removal leaves none of the package's folders. On
# the way the registry values and the uninstall entry IT reads, and the
# installed diagnosis's --install-check.
# First its tables.
#   msi_steps.sh WIN32_BUILD_DIR DIST_DIR VERSION   (WINEPREFIX: the prefix)
# The prefix's viewer folder may hold an archive installation, which goes
# first as the README says.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="$(realpath "$1")"
dist="$(realpath "$2")"
version="$3"
: "${WINEPREFIX:?WINEPREFIX must name the prefix}"
export WINEDEBUG=-all WINEARCH=win32 LC_ALL=C.UTF-8
msi="$dist/VidudUDE-$version.msi"
viewer="$WINEPREFIX/drive_c/Program Files/Datacomp/BIM Vision"
plugins="$viewer/plugins"
work="$build/install-msi"
rm -rf "$work"
mkdir -p "$work"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# msiexec with a verbose log; its exit code (Wine hands on its low byte).
step=0
msiexec() {
  step=$((step + 1))
  log="$work/msiexec-$step.log"
  local rc=0
  wine msiexec "$@" /qn /l*v "$(winepath -w "$log")" || rc=$?
  return $rc
}
installed() {
  msiexec "$@" || fail "msiexec $* failed: $(tail -n 20 "$log")"
  ! grep -a -i -E 'error|return value 3' "$log" || fail "the log of msiexec $* reports an error"
}
# Everything in the viewer's folder, with a checksum per file.
tree() { (cd "$viewer" && find . -printf '%y %p\n' | LC_ALL=C sort && find . -type f -exec md5sum {} + | LC_ALL=C sort); }
# The version resource holds the version as UTF-16 text.
has_version() { python3 -c 'import sys; sys.exit(sys.argv[2].encode("utf-16-le") not in open(sys.argv[1], "rb").read())' "$@"; }
# The installed-programs entries of the package, as "name|version|publisher".
arp_entries() {
  wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null | tr -d '\r' |
    awk '/^HKEY/ {if (n != "") print n "|" v "|" p; n = v = p = ""}
         $1 == "DisplayName" {sub(/^ *DisplayName +REG_SZ +/, ""); n = $0}
         $1 == "DisplayVersion" {sub(/^ *DisplayVersion +REG_SZ +/, ""); v = $0}
         $1 == "Publisher" {sub(/^ *Publisher +REG_SZ +/, ""); p = $0}
         END {if (n != "") print n "|" v "|" p}' | grep -F "$product|" || true
}
rc_field() { sed -n "s/.*VALUE \"$1\", \"\\([^\"]*\\)\".*/\\1/p" "$here/plugin/version.rc.in"; }
plugin_text() { sed -n "s/.* $1 = L\"\\([^\"]*\\)\".*/\\1/p" "$here/plugin/plugin_texts.h"; }
# One value of the package's installed-programs entry, as "TYPE VALUE".
arp_value() {
  wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null | tr -d '\r' |
    awk -v want="$1" -v product="$product" '/^HKEY/ {if (mine && v != "") print v; mine = 0; v = ""}
      $1 == "DisplayName" && index($0, product) {mine = 1}
      $1 == want {sub(/^ *[^ ]+ +/, ""); t = $1; sub(/^[^ ]+ +/, ""); v = t " " $0}
      END {if (mine && v != "") print v}'
}
# A registry value of the prefix as "TYPE VALUE"; empty when it is missing.
reg_value() {
  wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
    awk -v n="$2" '$1 == n {sub(/^ *[^ ]+ +/, ""); t = $1; sub(/^[^ ]+ +/, ""); print t " " $0}'
}
event_source='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\VidudUDE'
# install_check STATUS: the installed diagnosis's installation check ends so.
diagnosis='C:\Program Files\Datacomp\BIM Vision\plugins\VidudUDE_data\VidudUDE-Diagnose.exe'
install_check() {
  local status=0
  wine "$diagnosis" --install-check >"$work/install-check.txt" 2>&1 || status=$?
  [ "$status" -eq "$1" ] || fail "--install-check ended $status, not $1: $(tr -d '\r' <"$work/install-check.txt")"
}
product="$(rc_field ProductName)"
publisher="$(rc_field CompanyName)"

# What Windows Installer decides by, read from the package's tables (Wine's
# msiexec replaces a file whose size differs, so no installation here shows
# it): both programs carry the version and language of their version
# resource and no hash, which only a file without a version has, so they
# replace a copy unpacked from an older archive; and INSTALLDIR is secure, so
# an installation run elevated keeps the folder from its command line.
table() { msiinfo export "$msi" "$1" | tr -d '\r'; }
for file in VidudUDE.DLL VidudUDE_Diagnose.exe; do
  row="$(table File | awk -F'\t' -v f="$file" '$1 == f {print $5 "|" $6}')"
  [ "$row" = "$version.0|1031" ] || fail "the File table gives $file the version and language '$row'"
  [ -z "$(table MsiFileHash | awk -F'\t' -v f="$file" '$1 == f')" ] || fail "the package has a file hash for $file"
done
table Property | awk -F'\t' '$1 == "SecureCustomProperties" {print $2}' | tr ';' '\n' | grep -x INSTALLDIR >/dev/null ||
  fail "INSTALLDIR is not among the package's SecureCustomProperties"
# The corrections are read back: one that matched no row, after a File id
# was renamed, ends the build and leaves no package.
mkdir -p "$work/renamed/plugin"
cp -r "$here/packaging" "$work/renamed/"
cp "$here/plugin/plugin_texts.h" "$work/renamed/plugin/"
sed -i 's/File Id="VidudUDE.DLL"/File Id="VidudUDE_DLL"/' "$work/renamed/packaging/VidudUDE.wxs"
if cmake -DWIXL="$(command -v wixl)" -DWXS="$work/renamed/packaging/VidudUDE.wxs" -DRC_IN="$here/plugin/version.rc.in" \
  -DVERSION="$version" -DSTAGE="$build/dist-stage" -DMSI="$work/renamed.msi" -P "$here/cmake/dist_msi.cmake" \
  >"$work/renamed.log" 2>&1; then
  fail "a package whose DLL row was not corrected was built"
fi
grep -q 'did not take' "$work/renamed.log" && [ ! -e "$work/renamed.msi" ] ||
  fail "the failed correction was not reported, or left a package: $(cat "$work/renamed.log")"

# The viewer's own files stay whatever the package does.
rm -rf "$plugins/VidudUDE.DLL" "$plugins/VidudUDE_data"
mkdir -p "$plugins"
echo viewer >"$viewer/Viewer.exe"
echo other >"$plugins/Other.dll"
before="$(tree)"

installed /i "$(winepath -w "$msi")"
bash "$here/tools/check_install.sh" "$build/.." >"$work/check.log" ||
  fail "the installed plug-in does not load with its images: $(cat "$work/check.log")"
[ "$(arp_entries)" = "$product|$version|$publisher" ] || fail "installed programs list: $(arp_entries)"
# What IT reads: the version beside the folder, the entry's location, help
# link and contact, the event log source, the texts for IT.
windows_plugins='C:\Program Files\Datacomp\BIM Vision\plugins\'
[ "$(reg_value 'HKLM\Software\VidudUDE' Version)" = "REG_SZ $version" ] || fail "no Version beside InstallDir"
[ "$(arp_value InstallLocation)" = "REG_SZ $windows_plugins" ] || fail "InstallLocation: $(arp_value InstallLocation)"
[ "$(arp_value HelpLink)" = "REG_SZ $(plugin_text PluginWebAddress)" ] || fail "HelpLink: $(arp_value HelpLink)"
[ "$(arp_value Contact)" = "REG_SZ $(plugin_text PluginEmail)" ] || fail "Contact: $(arp_value Contact)"
[ "$(reg_value "$event_source" EventMessageFile)" = "REG_EXPAND_SZ ${windows_plugins}VidudUDE.DLL" ] ||
  fail "the event source's EventMessageFile: $(reg_value "$event_source" EventMessageFile)"
[ "$(reg_value "$event_source" TypesSupported)" = "REG_DWORD 0x7" ] ||
  fail "the event source's TypesSupported: $(reg_value "$event_source" TypesSupported)"
for text in README.txt RELEASE-NOTES.txt; do
  cmp -s "$plugins/VidudUDE_data/$text" "$build/dist-stage/plugins/VidudUDE_data/$text" || fail "$text is not installed"
done
install_check 0
# --report writes what the console shows; an unknown option is no run.
wine "$diagnosis" --install-check --report 'C:\bericht.txt' >"$work/reported.txt" 2>&1 || fail "--report failed"
grep -q '^Bericht geschrieben: C:\\bericht\.txt' "$work/reported.txt" &&
  cmp -s <(head -n -1 "$work/reported.txt" | tr -d '\r') <(tr -d '\r' <"$WINEPREFIX/drive_c/bericht.txt") ||
  fail "--report did not write the report: $(cat "$work/reported.txt")"
status=0
wine "$diagnosis" --ganz-anders >"$work/unknown.txt" 2>&1 || status=$?
[ "$status" -eq 2 ] && grep -q 'unbekannte Option: --ganz-anders' "$work/unknown.txt" && grep -q '^Aufruf: ' "$work/unknown.txt" ||
  fail "an unknown option ended $status: $(cat "$work/unknown.txt")"
bash "$here/tests/install/diagnose_steps.sh" "$build" "$version" || fail "the installed diagnosis failed"

cp "$plugins/VidudUDE.DLL" "$work/installed.DLL"
rm "$plugins/VidudUDE.DLL"
install_check 1
# A repair as Windows runs one: /i of an installed product alone changes
# nothing there; REINSTALL puts back what is missing or older.
installed /i "$(winepath -w "$msi")" REINSTALL=ALL REINSTALLMODE=omus
cmp -s "$plugins/VidudUDE.DLL" "$work/installed.DLL" || fail "the repair did not restore the DLL"
install_check 0

# A newer package: the same files, the DLL's version resource moved on.
IFS=. read -r major minor patch <<<"$version"
newer="$major.$minor.$((patch + 1))"
cp -r "$build/dist-stage" "$work/stage"
python3 - "$work/stage/plugins/VidudUDE.DLL" "$version" "$newer" <<'PY'
import struct, sys
path, old, new = sys.argv[1:]
data = bytearray(open(path, "rb").read())
data = data.replace(old.encode("utf-16-le"), new.encode("utf-16-le"))
# The signature after the resource's key: the code holds its bytes too.
fixed = data.index(struct.pack("<I", 0xFEEF04BD), data.index("VS_VERSION_INFO\0".encode("utf-16-le")))
major, minor, patch = map(int, new.split("."))
struct.pack_into("<4I", data, fixed + 8, major << 16 | minor, patch << 16, major << 16 | minor, patch << 16)
open(path, "wb").write(data)
PY
cmake -DWIXL="$(command -v wixl)" -DWXS="$here/packaging/VidudUDE.wxs" -DRC_IN="$here/plugin/version.rc.in" \
  -DVERSION="$newer" -DSTAGE="$work/stage" -DMSI="$work/newer.msi" -P "$here/cmake/dist_msi.cmake" >/dev/null
installed /i "$(winepath -w "$work/newer.msi")"
[ "$(find "$WINEPREFIX/drive_c" -iname VidudUDE.DLL | wc -l)" -eq 1 ] || fail "the upgrade left more than one DLL"
has_version "$plugins/VidudUDE.DLL" "$newer" || fail "the upgrade did not install the DLL of $newer"
[ "$(arp_entries)" = "$product|$newer|$publisher" ] || fail "installed programs list after the upgrade: $(arp_entries)"

if msiexec /i "$(winepath -w "$msi")"; then fail "the older package installed over the newer one"; fi
# Windows shows the launch condition's message; Wine's msiexec neither shows
# nor logs it, so the package is checked to carry it.
LC_ALL=C grep -a -q -F 'Eine neuere Version von [ProductName] ist bereits installiert' "$msi" ||
  fail "the package has no message for a refused downgrade"
has_version "$plugins/VidudUDE.DLL" "$newer" || fail "the refused downgrade changed the DLL"
[ "$(arp_entries)" = "$product|$newer|$publisher" ] || fail "the refused downgrade changed the installed programs list"

installed /x "$(winepath -w "$work/newer.msi")"
[ "$(tree)" = "$before" ] || fail "the removal did not leave the viewer's folder as before:"$'\n'"$(diff <(echo "$before") <(tree))"
[ -z "$(arp_entries)" ] || fail "the removal left the installed programs entry: $(arp_entries)"
! wine reg query "$event_source" >/dev/null 2>&1 || fail "the removal left the event source's registration"
# A viewer elsewhere: the DLL goes where INSTALLDIR says, the images stay
# where the plug-in looks for them; the newer package and the removal find
# that folder again without being told. No folder of the package is there
# before, and none after.
rm -rf "$WINEPREFIX/drive_c/Program Files/Datacomp"
elsewhere="$WINEPREFIX/drive_c/Viewer/plugins/VidudUDE.DLL"
installed /i "$(winepath -w "$msi")" 'INSTALLDIR=C:\Viewer\plugins\'
[ -f "$elsewhere" ] && [ ! -e "$plugins/VidudUDE.DLL" ] || fail "INSTALLDIR did not move the DLL"
[ -f "$plugins/VidudUDE_data/VidudUDE_32x32.png" ] || fail "INSTALLDIR moved the images"
installed /i "$(winepath -w "$work/newer.msi")"
[ -f "$elsewhere" ] && [ ! -e "$plugins/VidudUDE.DLL" ] && has_version "$elsewhere" "$newer" ||
  fail "the upgrade did not replace the DLL where INSTALLDIR put it"
installed /x "$(winepath -w "$work/newer.msi")"
[ ! -e "$WINEPREFIX/drive_c/Program Files/Datacomp" ] && [ ! -e "$(dirname "$elsewhere")" ] ||
  fail "the removal of the INSTALLDIR installation left folders: $(find "$WINEPREFIX/drive_c/Program Files/Datacomp" "$(dirname "$elsewhere")" 2>&1)"
! wine reg query 'HKLM\Software\VidudUDE' >/dev/null 2>&1 || fail "the removal left the registry note of INSTALLDIR"
echo "the package installed, repaired, upgraded to $newer, refused $version over it, was removed, and went elsewhere by INSTALLDIR, upgraded and removed there"
