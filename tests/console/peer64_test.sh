#!/usr/bin/env bash
# A 64-bit peer against the 32-bit plug-in: the sample peer built for x86_64
# runs as QUABO.EXE in a 64-bit Wine prefix (BUILD_DIR/wineprefix64, made
# here once), where the viewer simulator and the plug-in of the Windows tree,
# both 32-bit, run under WoW64. The peer connects, a selection crosses both
# ways, the peer has a model loaded, and its disconnect ends the session;
# window handles cross in both directions.
#   peer64_test.sh BUILD_DIR SAMPLE_PEER_EXE
set -euo pipefail
build="$(realpath "$1")"
sample_exe="$(realpath "$2")"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
export WINEPREFIX="$build/wineprefix64" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
work="$(mktemp -d)"
viewer_pid=""
sample_pid=""
finish() {
  exec 4>&- 5>&- 2>/dev/null || true
  if [ -n "$viewer_pid" ]; then kill "$viewer_pid" 2>/dev/null || true; fi
  if [ -n "$sample_pid" ]; then kill "$sample_pid" 2>/dev/null || true; fi
  wait 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap finish EXIT
fail() {
  echo "FAIL: $*" >&2
  for log in "$work"/*.out; do
    echo "--- $(basename "$log")" >&2
    cat "$log" >&2
  done
  exit 1
}
source "$here/tests/wait_for.sh"

# The machine a PE file is built for: 8664 (x86_64) or 14c (i386).
machine() { python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(); print("%x" % struct.unpack_from("<H", d, struct.unpack_from("<I", d, 0x3c)[0] + 4)[0])' "$1"; }
[ "$(machine "$sample_exe")" = 8664 ] || fail "the sample peer is not a 64-bit program"
[ "$(machine "$build/win32/VidudUDE.DLL")" = 14c ] || fail "the plug-in is not a 32-bit DLL"

if [ ! -f "$WINEPREFIX/.vidudude-ready" ]; then
  rm -rf "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.vidudude-ready"
fi
[ -d "$WINEPREFIX/drive_c/windows/syswow64" ] || fail "$WINEPREFIX is not a 64-bit prefix"

marks=0
viewer() {
  marks=$((marks + 1))
  printf '%s\necho @%d\n' "$1" "$marks" >&4
  wait_for "$work/viewer.out" "^@$marks\$"
}
sample() {
  printf '%s\n' "$1" >&5
  wait_for "$work/sample.out" "$2"
}

mkfifo "$work/viewer.in" "$work/sample.in"
"$here/tools/viewer.sh" "$build" <"$work/viewer.in" >"$work/viewer.out" 2>&1 &
viewer_pid=$!
exec 4>"$work/viewer.in"
viewer "status"
cp "$sample_exe" "$work/QUABO.EXE"
wine "$work/QUABO.EXE" <"$work/sample.in" >"$work/sample.out" 2>&1 &
sample_pid=$!
exec 5>"$work/sample.in"
wait_for "$work/sample.out" "connected to the plug-in's window [0-9a-f]+ \(viewer pid [0-9]+\)$"

viewer "select-type IfcWall door"
wait_for "$work/sample.out" '<- code 6 \(selection\) .*: "2O2Fr\$t4X7Zf8NOew3FL9r\\r\\n0BTBFw6f90Nfh9rP1dl_39"$'
sample "6 1cwlDi_hLEvPsClAelBNnz" '<- reply to command 6: 2001 '
sample '5 C:\Projekte\Haus.ifc' '<- reply to command 5: 2001 '
wait_for "$work/sample.out" '<- code 4 \(model path\) .*: "C:\\\\Projekte\\\\Haus.ifc"$'
viewer "status"
sample "2" '<- reply to command 2: 2001 '
wait "$viewer_pid" || fail "the viewer ended with an error"
viewer_pid=""
wait_for "$work/sample.out" '<- code 2 \(plug-in stops\) .*: "BIM end"$'
exec 5>&-
wait "$sample_pid" || fail "the sample peer ended with an error"
sample_pid=""

# Handles cross both ways: the plug-in's window, as the 64-bit peer got it
# in wParam, is the one the viewer shows; the peer's window, as the plug-in
# got it in wParam, is the one the peer created.
tr -d '\r' <"$work/viewer.out" >"$work/viewer.txt"
tr -d '\r' <"$work/sample.out" >"$work/sample.txt"
plugin="$(sed -n 's/^plug-in window: \([0-9a-f]*\),.*/\1/p' "$work/viewer.txt" | head -n 1)"
peer="$(sed -n 's/^[0-9:.]* sample peer: pid [0-9]*, main window \([0-9a-f]*\);.*/\1/p' "$work/sample.txt")"
grep -qE "connected to the plug-in's window $plugin " "$work/sample.txt" || fail "the peer connected to another window than $plugin"
grep -qE "^  plug-in <- peer    command 6 from window $peer " "$work/viewer.txt" || fail "the plug-in did not name the peer's window $peer"
grep -qE '^  viewer  <- plug-in select_many\(plugin=81, objects=\[0x1700000017\], count=1, mode=2\)$' "$work/viewer.txt" ||
  fail "the peer's selection did not reach the viewer"
echo "64-bit sample peer against the 32-bit plug-in: connected to window $plugin, selections both ways, a load and the end"
