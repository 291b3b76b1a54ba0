#!/usr/bin/env bash
# VidudUDE-Diagnose.exe as installed by the package, against the viewer
# simulator and the peer simulator: each finding once, with its exit status.
#   diagnose_steps.sh WIN32_BUILD_DIR VERSION   (WINEPREFIX: a prefix with the package of VERSION installed)
set -euo pipefail
build="$(realpath "$1")"
# As the report spells it: major, minor and patch in that order.
version="${2//./\\.}"
: "${WINEPREFIX:?WINEPREFIX must name the prefix}"
export WINEDEBUG=-all WINEARCH=win32 LC_ALL=C.UTF-8
plugins='C:\Program Files\Datacomp\BIM Vision\plugins'
data="$(winepath -u "$plugins\\VidudUDE_data")"
work="$(mktemp -d)"
viewer_pid=""
peer_pid=""
stop_viewer() {
  [ -n "$viewer_pid" ] || return 0
  exec 4>&-
  wait "$viewer_pid" 2>/dev/null || true
  viewer_pid=""
}
stop_peer() {
  [ -n "$peer_pid" ] || return 0
  exec 3>&-
  wait "$peer_pid" 2>/dev/null || true
  peer_pid=""
}
finish() {
  stop_viewer
  stop_peer
  [ ! -f "$work/image" ] || mv "$work/image" "$data/AufmErzeugen_32x32.png"
  rm -rf "$work"
}
trap finish EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

source "$(dirname "${BASH_SOURCE[0]}")/../wait_for.sh"

# Each simulator ends at the end of its input; neither holds the other's
# input open.
# viewer PLUGIN [PROGRAM]: the viewer simulator with a console, its plug-in
# started; PROGRAM is a copy of it to run instead.
viewer() {
  local program="${2:-$build/tools/viewer_sim/viewer_sim.exe}"
  rm -f "$work/viewer.in"
  mkfifo "$work/viewer.in"
  wine "$program" --console --plugin "$1" <"$work/viewer.in" >"$work/viewer.out" 2>&1 3>&- 4>&- &
  viewer_pid=$!
  exec 4>"$work/viewer.in"
  echo 'echo @started' >&4
  wait_for "$work/viewer.out" '^@started$'
}

# peer NAME [ARGS]: the peer simulator running as NAME.
peer() {
  local name="$1"
  shift
  cp "$build/tools/peer_sim/peer_sim.exe" "$work/$name"
  rm -f "$work/peer.in"
  mkfifo "$work/peer.in"
  wine "$work/$name" "$@" <"$work/peer.in" >"$work/peer.out" 2>&1 3>&- 4>&- &
  peer_pid=$!
  exec 3>"$work/peer.in"
  wait_for "$work/peer.out" '^ready hwnd='
}

# diagnose STATUS PATTERN...: runs the installed diagnosis; its exit status
# and every pattern (an extended regex over whole lines) must match.
diagnose() {
  local expected="$1" status=0
  shift
  wine "$plugins\\VidudUDE_data\\VidudUDE-Diagnose.exe" >"$work/report" 2>&1 || status=$?
  tr -d '\r' <"$work/report" >"$work/report.txt"
  [ "$status" -eq "$expected" ] || fail "exit status $status, not $expected:"$'\n'"$(cat "$work/report.txt")"
  for line in "$@"; do
    grep -qE "^$line\$" "$work/report.txt" || fail "the report lacks '$line':"$'\n'"$(cat "$work/report.txt")"
  done
}

peer QUABO.EXE
diagnose 1 '  PROBLEM  kein BIM Vision läuft: .*' '  ok       QUABO.EXE \(PID [0-9]+, Integritätsstufe .*\), Hauptfenster 0x[0-9a-f]+ \(Klasse TMainForm\)' \
  'Ergebnis: 1 Problem gefunden\.'

# A viewer in a folder whose name the ANSI code page cannot spell is found
# and named all the same.
mkdir -p "$work/Łódź"
cp "$build/tools/viewer_sim/viewer_sim.exe" "$work/Łódź/"
viewer "$plugins\\VidudUDE.DLL" "$work/Łódź/viewer_sim.exe"
diagnose 0 "VidudUDE-Diagnose $version: Verbindung BIM Vision <-> Quabo \\(ändert nichts\\)" \
  'Datum [0-9-]+ [0-9:]+, Computer .+, Benutzer .+' \
  '  ok       C:\\Program Files\\Datacomp\\BIM Vision\\plugins\\VidudUDE\.DLL, Version '"$version" \
  '  ok       Bild C:\\Program Files\\Datacomp\\BIM Vision\\plugins\\VidudUDE_data\\AufmErzeugen_32x32\.png' \
  '  ok       .*\\Łódź\\viewer_sim\.exe \(PID [0-9]+\), Integritätsstufe .*' \
  '  ok       VidudUDE\.DLL geladen: C:\\Program Files\\Datacomp\\BIM Vision\\plugins\\VidudUDE\.DLL, Version '"$version" \
  '  ok       Plug-in-Fenster 0x[0-9a-f]+ \(Klasse VidudUDE\.MessageWindow, PID [0-9]+\) antwortet auf Befehl 7 mit 2001' \
  '  ok       BIM Vision und Quabo laufen mit derselben Integritätsstufe, .*' '  ok       ANSI-Codepage 1252' \
  'Ergebnis: kein Problem gefunden\.'

# A viewer busy beyond the system's five-second hung rule is waited for, and
# answers.
echo 'busy 8000' >&4
wait_for "$work/viewer.out" 'the system takes it for hung$'
diagnose 0 '  ok       Plug-in-Fenster 0x[0-9a-f]+ \(Klasse VidudUDE\.MessageWindow, PID [0-9]+\) antwortet auf Befehl 7 mit 2001'
has_line "$work/viewer.out" 'no longer busy' || fail "the diagnosis ended before the busy viewer answered"

mv "$data/AufmErzeugen_32x32.png" "$work/image"
diagnose 1 '  PROBLEM  Bild fehlt: C:\\Program Files\\Datacomp\\BIM Vision\\plugins\\VidudUDE_data\\AufmErzeugen_32x32\.png .*' \
  'Ergebnis: 1 Problem gefunden\.'
mv "$work/image" "$data/AufmErzeugen_32x32.png"

stop_peer
diagnose 1 '  PROBLEM  kein Quabo läuft \(QUABO\.EXE oder QUABO_BIMPROJECT\.EXE\), und keines ist mit dem Plug-in verbunden' 'Ergebnis: 1 Problem gefunden\.'

peer QUABO_BIMPROJECT.EXE --class TForm1
diagnose 1 '  PROBLEM  QUABO_BIMPROJECT\.EXE \(PID [0-9]+, .*\) hat kein Fenster der Klasse TMainForm: .*' \
  'Ergebnis: 1 Problem gefunden\.'
stop_peer

# A peer of another name that found the plug-in's window and connected is
# named as connected, and no "kein Quabo läuft".
echo status >&4
wait_for "$work/viewer.out" '^plug-in window: '
plugin_window="$(tr -d '\r' <"$work/viewer.out" | sed -n 's/^plug-in window: \([0-9a-f]*\),.*/\1/p' | tail -n 1)"
peer KALK.EXE
printf 'target %s\nsend 1 x\n' "$plugin_window" >&3
wait_for "$work/peer.out" '^sent code=1 reply=2001$'
diagnose 0 '  Hinweis  kein Programm namens QUABO\.EXE oder QUABO_BIMPROJECT\.EXE läuft: .*' \
  '  Hinweis  .*\\KALK\.EXE \(PID [0-9]+, Integritätsstufe .*\) ist mit dem Plug-in in PID [0-9]+ verbunden, Fenster 0x[0-9a-f]+ \(Klasse TMainForm\)'
stop_peer

stop_viewer
peer QUABO.EXE
viewer "$(winepath -w "$build/tools/viewer_sim/viewer_sim_probe.dll")"
diagnose 1 '  PROBLEM  VidudUDE\.DLL ist in PID [0-9]+ nicht geladen; .*' 'Ergebnis: 1 Problem gefunden\.'
echo "the diagnosis found each problem once and none on a working desk"
