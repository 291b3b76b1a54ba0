#!/usr/bin/env bash
# Installs the built plug-in into a private Wine prefix the way a user
# installs it into the viewer, then plays the demo session.
#   tools/demo.sh BUILD_DIR [model.ifc] [--screenshots DIR]
# With --screenshots the session also shows the viewer's ribbon in a window
# and saves it as DIR/start.png, connected.png and lines-enabled.png (plus
# DIR/layout.txt, where the buttons are). That needs a display: it runs on
# its own Xvfb in its own prefix, BUILD_DIR/wineprefix-x11, with Wine's X11
# driver, so the test prefix keeps running without one.
set -euo pipefail
build="$(realpath "$1")"
shift
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
model="$here/models/demo-house.ifc"
shots=""
while [ $# -gt 0 ]; do
  case "$1" in
    --screenshots) shots="$(realpath -m "${2:?--screenshots needs a directory}")"; shift 2 ;;
    *) model="$1"; shift ;;
  esac
done
model="$(realpath "$model")"
winpath() { printf 'Z:%s' "$1" | tr '/' '\\'; }
extra=()

if [ -n "$shots" ]; then
  export WINEPREFIX="$build/wineprefix-x11" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win32
  export LC_ALL=C.UTF-8
  mkdir -p "$shots"
  rm -f "$shots"/start.png "$shots"/connected.png "$shots"/lines-enabled.png "$shots"/layout.txt
  # Xvfb picks a free display number itself and writes it to fd 3.
  displayfile="$(mktemp)"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$displayfile" >/dev/null 2>&1 &
  xvfb=$!
  finish() {
    wineserver -k 2>/dev/null || true
    kill "$xvfb" 2>/dev/null || true
    wait "$xvfb" 2>/dev/null || true
    rm -f "$displayfile"
  }
  trap finish EXIT
  # Bounded generously: on a busy machine Xvfb may take a while to start.
  for _ in $(seq 1200); do
    [ -s "$displayfile" ] && break
    kill -0 "$xvfb" 2>/dev/null || { echo "Xvfb did not start" >&2; exit 1; }
    sleep 0.1
  done
  [ -s "$displayfile" ] || { echo "Xvfb reported no display" >&2; exit 1; }
  export DISPLAY=":$(head -n1 "$displayfile")"
  if [ ! -f "$WINEPREFIX/.vidudude-ready" ]; then
    rm -rf "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.vidudude-ready"
  fi
  extra=(--screenshots "$(winpath "$shots")")
fi

plugins="$WINEPREFIX/drive_c/Program Files/Datacomp/BIM Vision/plugins"
mkdir -p "$plugins/VidudUDE_data"
cp "$build/win32/VidudUDE.DLL" "$plugins/"
cp "$here/plugin/images/VidudUDE_32x32.png" "$here/plugin/images/AufmErzeugen_32x32.png" "$plugins/VidudUDE_data/"
wine "$build/win32/tools/demo/vidudude_demo.exe" \
  --plugin 'C:\Program Files\Datacomp\BIM Vision\plugins\VidudUDE.DLL' \
  --peer "$build/win32/tools/peer_sim/peer_sim.exe" \
  --model "$(winpath "$model")" "${extra[@]}"
