#!/usr/bin/env bash
# Installs the release the way the README says and checks what it holds.
#   install_test.sh WIN32_BUILD_DIR DIST_DIR VERSION
# First a release signed with a throwaway certificate that has no password:
# DLL and package verify, a flipped byte does not, the signed DLL runs a
# viewer session; the same key behind a password signs with it, and ends the
# release plainly when it is wrong or missing.
# Then the unsigned release: the archive's sums file, its contents, that its
# DLL has no debug sections and links to the debug file beside the archive,
# then the README's installation commands for a Wine prefix as they stand
# (with HOME in a scratch folder, so that ~/bimvision is a fresh prefix);
# they end with tools/check_install.sh. In that prefix the Windows Installer
# package (tests/install/msi_steps.sh) is installed, repaired, upgraded,
# refused as a downgrade and removed.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="$(cd "$1" && pwd)"
dist="$(cd "$2" 2>/dev/null && pwd || echo "$2")"
version="$3"
: "${WINEPREFIX:?run under ./run test, which sets up the Wine prefix}"
name="VidudUDE-$version.zip"
archive="$dist/$name"
debug="$dist/VidudUDE-$version.debug"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# The signed release goes to a scratch folder; the unsigned one made after
# it is what dist/ keeps.
signed="$build/install-signed"
rm -rf "$signed"
mkdir -p "$signed"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$signed/key.pem" -out "$signed/cert.pem" -days 2 \
  -subj '/CN=VidudUDE test signing' -addext extendedKeyUsage=codeSigning 2>/dev/null
openssl pkcs12 -export -inkey "$signed/key.pem" -in "$signed/cert.pem" -out "$signed/cert.p12" -passout pass:
openssl pkcs12 -export -inkey "$signed/key.pem" -in "$signed/cert.pem" -out "$signed/locked.p12" -passout pass:geheim-42
VIDUDUDE_SIGN_PKCS12="$signed/cert.p12" VIDUDUDE_SIGN_PASSWORD= VIDUDUDE_DIST_OUT="$signed" \
  cmake --build "$build" --target dist >"$signed/dist.log" || fail "the signed release was not made: $(cat "$signed/dist.log")"
grep -q 'signed with the certificate' "$signed/dist.log" || fail "dist does not say that it signed"
grep -q 'NO TIME STAMP' "$signed/dist.log" || fail "dist does not say that the signatures carry no time stamp"
unzip -p "$signed/$name" plugins/VidudUDE.DLL >"$signed/VidudUDE.DLL"
unzip -p "$signed/$name" plugins/VidudUDE_data/VidudUDE-Diagnose.exe >"$signed/VidudUDE-Diagnose.exe"
verify() { osslsigncode verify -CAfile "$signed/cert.pem" -in "$1" >"$signed/verify.log" 2>&1; }
verify "$signed/VidudUDE-Diagnose.exe" || fail "VidudUDE-Diagnose.exe does not verify: $(cat "$signed/verify.log")"
# A byte of the DLL's code, and one in the package's cabinet (its signature
# covers the streams, not the file's free sectors).
flip() {
  python3 -c 'import sys; d = bytearray(open(sys.argv[1], "rb").read()); d[int(sys.argv[2])] ^= 0xFF
open(sys.argv[1] + ".flipped", "wb").write(d)' "$1" "$2"
}
cab_at="$(grep -abo MSCF "$signed/VidudUDE-$version.msi" | head -n 1 | cut -d: -f1)"
for target in "$signed/VidudUDE.DLL:2000" "$signed/VidudUDE-$version.msi:$((cab_at + 300))"; do
  file="${target%:*}"
  verify "$file" || fail "$(basename "$file") does not verify: $(cat "$signed/verify.log")"
  flip "$file" "${target##*:}"
  ! verify "$file.flipped" || fail "$(basename "$file") with a flipped byte still verifies"
done
# Nothing may ask for the password: stdin is empty here.
for password in geheim-42 falsch ""; do
  mkdir -p "$signed/locked"
  if VIDUDUDE_SIGN_PKCS12="$signed/locked.p12" VIDUDUDE_SIGN_PASSWORD="$password" VIDUDUDE_DIST_OUT="$signed/locked" \
    cmake --build "$build" --target dist </dev/null >"$signed/locked.log" 2>&1; then
    [ "$password" = geheim-42 ] || fail "the password '$password' signed: $(cat "$signed/locked.log")"
    unzip -p "$signed/locked/$name" plugins/VidudUDE.DLL >"$signed/locked/VidudUDE.DLL"
    verify "$signed/locked/VidudUDE.DLL" || fail "signed with a password, the DLL does not verify"
  else
    [ "$password" != geheim-42 ] || fail "the right password did not sign: $(cat "$signed/locked.log")"
    expected="does not open"
    [ -n "$password" ] || expected="needs a password"
    tr -s ' \n' ' ' <"$signed/locked.log" | grep -q "$expected" ||
      fail "the password '$password' failed without saying so: $(cat "$signed/locked.log")"
  fi
done
session="$(wine "$build/tools/viewer_sim/viewer_sim.exe" --plugin "$(winepath -w "$signed/VidudUDE.DLL")" | tr -d '\r')" ||
  fail "the signed DLL did not run its session: $session"
grep -q '^button .*"Inaktiv"' <<<"$session" || fail "the signed DLL made no status button: $session"

cmake --build "$build" --target dist >"$signed/dist.log"
grep -q 'UNSIGNED release' "$signed/dist.log" || fail "dist without a certificate does not say the release is unsigned"
[ -f "$archive" ] || fail "$archive was not made"
(cd "$dist" && sha256sum -c --strict "$name.sha256") || fail "the sums file does not match $name"

expected=$'plugins/VidudUDE.DLL\nplugins/VidudUDE_data/AufmErzeugen_32x32.png\nplugins/VidudUDE_data/README.txt\nplugins/VidudUDE_data/RELEASE-NOTES.txt\nplugins/VidudUDE_data/VidudUDE-Diagnose.exe\nplugins/VidudUDE_data/VidudUDE_32x32.png'
entries="$(unzip -Z1 "$archive" | LC_ALL=C sort)"
[ "$entries" = "$expected" ] || fail "unexpected archive entries:"$'\n'"$entries"

# The version resource carries the version that names the archive, as the
# UTF-16 text of FileVersion and ProductVersion.
utf16_hex() { printf '%s' "$1" | iconv -f ASCII -t UTF-16LE | od -An -v -tx1 | tr -d ' \n'; }
dll_hex="$(unzip -p "$archive" plugins/VidudUDE.DLL | od -An -v -tx1 | tr -d ' \n')"
[[ "$dll_hex" == *"$(utf16_hex "$version")00"* ]] || fail "the DLL's version resource does not say $version"

# Debug sections live in the file beside the archive; the DLL names that
# file and its CRC-32 in its .gnu_debuglink section.
objdump=i686-w64-mingw32-objdump
unzip -p "$archive" plugins/VidudUDE.DLL >"$build/dist-check.DLL"
sections="$($objdump -h "$build/dist-check.DLL" | awk '$1 ~ /^[0-9]+$/ {print $2}')"
! grep -q '^\.debug' <<<"$sections" || fail "the packaged DLL has debug sections"
grep -qx '\.gnu_debuglink' <<<"$sections" || fail "the packaged DLL has no debug link"
# (grep reads to the end: with -q, objdump's broken pipe would fail the pipeline)
$objdump --dwarf=info "$debug" | grep 'DW_AT_name .*plugin/exports\.cpp$' >/dev/null ||
  fail "$debug holds no debug information of the plug-in's own code"
i686-w64-mingw32-objcopy --dump-section .gnu_debuglink="$build/dist-check.link" "$build/dist-check.DLL" "$build/dist-check.copy"
python3 - "$build/dist-check.link" "$debug" <<'PY' || fail "the debug link does not name $debug"
import os, struct, sys, zlib
link = open(sys.argv[1], "rb").read()
name = link[:link.index(b"\0")].decode()
crc = struct.unpack("<I", link[-4:])[0]
sys.exit(name != os.path.basename(sys.argv[2]) or crc != zlib.crc32(open(sys.argv[2], "rb").read()))
PY
rm -f "$build/dist-check.DLL" "$build/dist-check.link" "$build/dist-check.copy"

# The README's commands, block for block as a user pastes them.
block="$(sed -n '/^<!-- install-in-wine -->$/,/^```$/p' "$here/README.md" | sed '1,2d;$d')"
[ -n "$block" ] || fail "README.md has no installation block for Wine"
scratch="$build/install-home"
rm -rf "$scratch"
mkdir -p "$scratch"
trap 'WINEPREFIX="$scratch/bimvision" wineserver -k 2>/dev/null || true' EXIT
(cd "$here" && HOME="$scratch" bash -euo pipefail -c "$block") || fail "the README's installation commands failed"
echo "installed $name into a fresh prefix as the README says; its DLL is stripped and links to $(basename "$debug")"

WINEPREFIX="$scratch/bimvision" bash "$here/tests/install/msi_steps.sh" "$build" "$dist" "$version" ||
  fail "the Windows Installer package failed"
