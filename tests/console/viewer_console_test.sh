#!/usr/bin/env bash
# A peer developer's sessions: the viewer console (tools/viewer.sh, as
# `./run viewer` starts it) driven through its stdin, and real peer
# processes driven through their own: first the sample peer of peer_sdk/ as
# docs/protocol.md, "Your first peer", walks through it, then peer_sim
# started as QUABO.EXE. Checks that the peers receive codes 1, 2, 4, 6 and
# 9, that their commands get their replies and effects, and that the console
# shows both sides, every message the plug-in sends and why one was not sent.
#   viewer_console_test.sh BUILD_DIR
set -euo pipefail
build="$(realpath "$1")"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
: "${WINEPREFIX:?run under ./run test, which sets up the Wine prefix}"
work="$(mktemp -d)"
viewer_pid=""
peer_pid=""
sample_pid=""
# Either process may have ended already; nothing here may fail the test.
finish() {
  exec 3>&- 4>&- 5>&- 2>/dev/null || true
  if [ -n "$viewer_pid" ]; then kill "$viewer_pid" 2>/dev/null || true; fi
  if [ -n "$peer_pid" ]; then kill "$peer_pid" 2>/dev/null || true; fi
  if [ -n "$sample_pid" ]; then kill "$sample_pid" 2>/dev/null || true; fi
  wait 2>/dev/null || true
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

source "$(dirname "${BASH_SOURCE[0]}")/../wait_for.sh"

# lines_at_least N REGEX FILE: FILE has N lines matching the extended regex.
lines_at_least() { [ "$(tr -d '\r' <"$3" | grep -cE -- "$2")" -ge "$1" ]; }

acks=0
peer_acknowledged() {
  grep -q '^error ' "$work/peer.out" && fail "the peer refused: $1"
  lines_at_least "$acks" '^ack ' "$work/peer.out"
}
peer() {
  printf '%s\n' "$1" >&3
  acks=$((acks + 1))
  wait_until "the peer did not finish: $1" peer_acknowledged "$1"
}

marks=0
console="$work/viewer.out"
viewer() {
  marks=$((marks + 1))
  printf '%s\necho @%d\n' "$1" "$marks" >&4
  wait_for "$console" "^(\[ *[0-9]+ ms\] )?@$marks\$"
}

# The sample peer: started with its input on fd 5 and its output in FILE,
# as QUABO_BIMPROJECT.EXE or under the name given; each command waits for
# its reply line.
sample_replies=0
start_sample() {
  sample_out="$1"
  local exe="$work/${2:-QUABO_BIMPROJECT.EXE}"
  [ -f "$exe" ] || cp "$work/QUABO_BIMPROJECT.EXE" "$exe"
  wine "$exe" <"$work/sample.in" >"$sample_out" 2>&1 &
  sample_pid=$!
  exec 5>"$work/sample.in"
  sample_replies=0
}
wait_sample_replies() {
  sample_replies="$1"
  wait_until "the sample peer did not get reply $1" lines_at_least "$1" '<- (no )?reply to command' "$sample_out"
}
sample() {
  printf '%s\n' "$1" >&5
  wait_sample_replies $((sample_replies + 1))
}
# The end of its input ends the sample peer, and its window goes with it.
stop_sample() {
  exec 5>&-
  wait "$sample_pid" || fail "the sample peer ended with an error"
  sample_pid=""
}
# What a sample peer received, "code text" per message, and the replies it
# got, "command:reply".
sample_received() {
  tr -d '\r' <"$1" | sed -n 's/^[0-9:.]* <- code \([0-9]*\) ([^)]*) from viewer pid [0-9]*, window [0-9a-f]*: "\(.*\)"$/\1 \2/p'
}
sample_answers() {
  tr -d '\r' <"$1" | sed -n 's/^[0-9:.]* <- reply to command \([0-9]*\): \([0-9]*\) .*/\1:\2/p' | paste -sd' '
}
sample_window() {
  tr -d '\r' <"$1" | sed -n 's/^[0-9:.]* sample peer: pid [0-9]*, main window \([0-9a-f]*\);.*/\1/p'
}

# The sample peer's session. The viewer runs first, every line time
# stamped; the peer, started later, finds the plug-in itself.
cp "$build/win32/peer_sdk/sample_peer.exe" "$work/QUABO_BIMPROJECT.EXE"
mkfifo "$work/sample.in" "$work/viewer.in"
console="$work/sample-viewer.out"
"$here/tools/viewer.sh" "$build" --timestamps <"$work/viewer.in" >"$console" 2>&1 &
viewer_pid=$!
exec 4>"$work/viewer.in"
viewer "select-type IfcWall door"
start_sample "$work/sample1.out"
wait_sample_replies 1
viewer "select-type IfcWall door"
sample "9 active"
viewer "press lines"
sample '5 C:\Projekte\Haus.ifc'
viewer "report-own on"
sample "6 1cwlDi_hLEvPsClAelBNnz"
sample "7 anything"
sample "8 0aFF10"
stop_sample
# Its window gone, the plug-in ends the link by itself while the viewer idles.
wait_for "$console" "the plug-in ended the link: peer window $(sample_window "$work/sample1.out") has gone\$"
viewer "status"
viewer "select-type IfcDoor"
# Under another name the sample hears nothing unasked: it finds the plug-in's
# window and connects, the console names its program, and after the
# plug-in's restart it has had "BIM end" but no "Bim Start".
start_sample "$work/sample3.out" TAKEOFF.EXE
wait_sample_replies 1
viewer "status"
viewer "reload"
stop_sample
# Restarted, the peer connects again; after the plug-in's restart too.
start_sample "$work/sample2.out"
wait_sample_replies 1
viewer "reload"
wait_sample_replies 2
sample "2"
wait "$viewer_pid" || fail "the sample peer's viewer session ended with an error"
viewer_pid=""
wait_until "the restarted sample peer did not get its second goodbye" lines_at_least 2 '<- code 2 ' "$work/sample2.out"
stop_sample

received="$(sample_received "$work/sample1.out")"
expected='6 2O2Fr$t4X7Zf8NOew3FL9r\r\n0BTBFw6f90Nfh9rP1dl_39
9 2O2Fr$t4X7Zf8NOew3FL9r\r\n0BTBFw6f90Nfh9rP1dl_39
4 C:\\Projekte\\Haus.ifc
6 0
6 1cwlDi_hLEvPsClAelBNnz'
[ "$received" = "$expected" ] || fail "the sample peer received"$'\n'"$received"$'\n'"instead of"$'\n'"$expected"
grep -q '^   measurement line 2: 0BTBFw6f90Nfh9rP1dl_39' "$work/sample1.out" || fail "no measurement line for the door"
[ "$(sample_answers "$work/sample1.out")" = "1:2001 9:2001 5:2001 6:2001 7:2001 8:2001" ] ||
  fail "the sample peer's replies: $(sample_answers "$work/sample1.out")"
[ "$(sample_received "$work/sample3.out")" = "2 BIM end" ] ||
  fail "the sample peer of another name received"$'\n'"$(sample_received "$work/sample3.out")"
[ "$(sample_answers "$work/sample3.out")" = "1:2001" ] ||
  fail "the sample peer of another name's replies: $(sample_answers "$work/sample3.out")"
received="$(sample_received "$work/sample2.out")"
[ "$received" = $'2 BIM end\n1 Bim Start\n2 BIM end' ] || fail "the restarted sample peer received"$'\n'"$received"
[ "$(sample_answers "$work/sample2.out")" = "1:2001 1:2001 2:2001" ] ||
  fail "the restarted sample peer's replies: $(sample_answers "$work/sample2.out")"

# Every console line is time stamped; what the plug-in sent, or why it sent
# nothing, shows as it happens, and the link as the plug-in has it.
grep -vqE '^\[ *[0-9]+ ms\] ' "$console" && fail "a console line without a time stamp"
sed 's/^\[ *[0-9]* ms\] //' "$console" | tr -d '\r' >"$work/sample-viewer.txt"
for line in \
  '  plug-in -> peer    no code 4 \(the model path\) sent: no peer found .*' \
  '  plug-in -> peer    no code 6 \(the selection\) sent: the link is inactive: .*' \
  '  plug-in -> peer    code 6 to window [0-9a-f]+ \(QUABO_BIMPROJECT.EXE pid [0-9]+\) at [0-9]+ ms, [0-9]+ bytes: "[0-9]+\|2O2Fr\$t4X7Zf8NOew3FL9r\\r\\n0BTBFw6f90Nfh9rP1dl_39\\0"' \
  '  plug-in <- peer    reply 1 after [0-9]+ ms' \
  'link: inactive, no peer connected \(status button "Inaktiv"\)' \
  'link: connected to peer window [0-9a-f]+ \(TAKEOFF.EXE pid [0-9]+\) \(status button "Aktiv"\)' \
  'peer running: TAKEOFF.EXE pid [0-9]+, connected window [0-9a-f]+ \(not a peer.s name: .*\)'; do
  grep -qE "^$line\$" "$work/sample-viewer.txt" || fail "the sample session's console did not show: $line"
done

# peer_sim's session.
console="$work/viewer.out"

cp "$build/win32/tools/peer_sim/peer_sim.exe" "$work/QUABO.EXE"
mkfifo "$work/peer.in"
wine "$work/QUABO.EXE" <"$work/peer.in" >"$work/peer.out" 2>&1 &
peer_pid=$!
exec 3>"$work/peer.in"
wait_for "$work/peer.out" '^ready hwnd='
peer "on 1 send 1"  # connect as soon as the plug-in announces its start

"$here/tools/viewer.sh" "$build" <"$work/viewer.in" >"$work/viewer.out" 2>&1 &
viewer_pid=$!
exec 4>"$work/viewer.in"
viewer "status"
wait_for "$work/viewer.out" '^link: connected to peer window [0-9a-f]+ \(QUABO.EXE pid [0-9]+\) \(status button "Aktiv"\)$'
wait_for "$work/viewer.out" '^peer running: QUABO.EXE pid [0-9]+, main window [0-9a-f]+$'

peer 'send 5 C:\\Projekte\\Haus.ifc'
peer "send 9 active"
viewer "select-type IfcWall door"
viewer "press lines"
viewer "press status"
peer "send 6 1cwlDi_hLEvPsClAelBNnz"
peer "send 8 0aFF10"
peer "send 7 anything"
peer "send 3 active"
viewer "clear"
viewer "ribbon"
viewer "unload"
viewer "reload"
peer "send 2"
wait "$viewer_pid" || fail "the viewer console ended with an error"
viewer_pid=""
tr -d '\r' <"$work/viewer.out" >"$work/viewer.txt"
tr -d '\r' <"$work/peer.out" >"$work/peer.txt"

# What the peer received of the codes this session is about, in order (the
# order is the point: each follows the step that caused it): code and text
# after the viewer's pid.
received="$(sed -n 's/^recv code=\([12469]\) cb=[0-9]* from=[0-9a-f]* data=[0-9]*|\(.*\)\\x00$/\1 \2/p' "$work/peer.txt")"
expected="1 Bim Start
4 C:\\\\Projekte\\\\Haus.ifc
4 C:\\\\Projekte\\\\Haus.ifc
6 2O2Fr\$t4X7Zf8NOew3FL9r\\x0D\\x0A0BTBFw6f90Nfh9rP1dl_39
9 2O2Fr\$t4X7Zf8NOew3FL9r\\x0D\\x0A0BTBFw6f90Nfh9rP1dl_39
6 0
2 BIM end
1 Bim Start
2 BIM end"
[ "$received" = "$expected" ] || fail "the peer received"$'\n'"$received"$'\n'"instead of"$'\n'"$expected"
grep -q '^line 2 guid=0BTBFw6f90Nfh9rP1dl_39$' "$work/peer.txt" || fail "no measurement line for the door"

replies="$(sed -n 's/^sent code=\([0-9]*\) reply=\(.*\)$/\1:\2/p' "$work/peer.txt" | tr '\n' ' ')"
[ "$replies" = "1:2001 5:2001 9:2001 6:2001 8:2001 7:2001 3:2000 1:2001 2:2001 " ] || fail "replies: $replies"

# The console shows the user's actions, the plug-in's viewer calls and the
# peer's commands with their replies.
for line in \
  'model: 6 objects, 1 storey' \
  'ribbon: \[Aktiv\] enabled .*' \
  'ribbon: \[Aufmaßzeilen erzeugen\] enabled .*' \
  '    #19 IFCWALL "Wand" 2O2Fr\$t4X7Zf8NOew3FL9r' \
  'the user presses "Aktiv"' \
  '  plug-in <- peer    command 5 from window [0-9a-f]+ \(pid [0-9]+\), 21 bytes: "C:\\\\Projekte\\\\Haus.ifc\\0"' \
  '  viewer  <- plug-in load_ifc\(plugin=81, path="C:\\\\Projekte\\\\Haus.ifc"\) -> 1 \(6 objects\)' \
  '  viewer  <- plug-in select_many\(plugin=81, objects=\[0x1700000017\], count=1, mode=2\)' \
  '  viewer  <- plug-in set_view_state\(plugin=81, kind=0, bytes=<0aff10>, size=3\)' \
  '  plug-in -> peer    reply 2000 \(not a command\)' \
  '  plug-in -> peer    code 9 to window [0-9a-f]+ \(QUABO.EXE pid [0-9]+\) at [0-9]+ ms, [0-9]+ bytes: "[0-9]+\|2O2Fr\$t4X7Zf8NOew3FL9r\\r\\n0BTBFw6f90Nfh9rP1dl_39\\0"' \
  'the plug-in is stopped and unloaded' \
  'the plug-in asked the viewer to close \(WM_CLOSE to its main window\): the viewer closes'; do
  grep -qE "^$line\$" "$work/viewer.txt" || fail "the console did not show: $line"
done

# The command examples of docs/protocol.md, row by row in one new session,
# as a peer sends them: each reply as the row says, and the last row's
# disconnect closes the viewer.
rows="$(python3 - "$here/docs/protocol.md" <<'PY'
import re, sys
text = open(sys.argv[1], encoding="utf-8").read()
block = re.search(r"^```example commands\n(.*?)^```$", text, re.S | re.M).group(1)
for row in block.splitlines():
    m = re.match(r'^(\d+) "((?:[^"\\]|\\.)*)" -> (\d+) : ', row)
    escapes = {"r": "\\r", "n": "\\n", "0": "\\x00", "\\": "\\\\", '"': "\\x22"}
    peer_text = re.sub(r"\\(.)", lambda e: escapes[e.group(1)], m.group(2))
    print(f"{m.group(1)}\x1f{peer_text}\x1f{m.group(3)}")
PY
)"
[ "$(wc -l <<<"$rows")" -ge 15 ] || fail "the command examples were not read: $rows"
peer "on 1 off"
messages_seen_all "$work/peer.out"
"$here/tools/viewer.sh" "$build" --timestamps=clock <"$work/viewer.in" >"$work/viewer2.out" 2>&1 &
viewer_pid=$!
exec 4>"$work/viewer.in"
next_message "$work/peer.out" 1
while IFS=$'\x1f' read -r code text reply; do
  peer "send $code $text"
  got="$(tr -d '\r' <"$work/peer.out" | sed -n 's/^sent code=\([0-9]*\) reply=\(.*\)$/\2/p' | tail -n1)"
  [ "$got" = "$reply" ] || fail "protocol.md row $code \"$text\": reply $got instead of $reply"
done <<<"$rows"
wait "$viewer_pid" || fail "the second viewer session ended with an error"
viewer_pid=""
# This session's lines begin with the clock time, as the peers' do.
grep -vqE '^\[[0-2][0-9]:[0-5][0-9]:[0-5][0-9]\.[0-9]{3}\] ' "$work/viewer2.out" &&
  fail "a console line without the clock time"
sed -E 's/^\[[0-9:.]+\] //' "$work/viewer2.out" | tr -d '\r' >"$work/viewer2.txt"
for line in \
  '  viewer  <- plug-in load_ifc\(plugin=81, path="C:\\\\Projekte\\\\fehlt.ifc"\) -> 0 \(cannot open C:\\Projekte\\fehlt.ifc\)' \
  '  viewer  <- plug-in set_view_state\(plugin=81, kind=0, bytes=<>, size=0\)' \
  '  viewer  <- plug-in set_view_state\(plugin=81, kind=0, bytes=<0aff10>, size=3\)' \
  'the plug-in asked the viewer to close \(WM_CLOSE to its main window\): the viewer closes'; do
  grep -qE "^$line\$" "$work/viewer2.txt" || fail "the second session did not show: $line"
done
echo "viewer console sessions: the sample peer and peer_sim received codes 1, 2, 4, 6 and 9; $(wc -l <<<"$rows") protocol.md command rows answered as written"
