#!/usr/bin/env bash
# Installs the built plug-in into the private Wine prefix the way a user
# installs it into the viewer, then plays the demo session.
#   tools/demo.sh BUILD_DIR [model.ifc]
set -euo pipefail
build="$1"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
model="$(realpath "${2:-$here/models/demo-house.ifc}")"
plugins="$WINEPREFIX/drive_c/Program Files/Datacomp/BIM Vision/plugins"
mkdir -p "$plugins/VidudUDE_data"
cp "$build/win32/VidudUDE.DLL" "$plugins/"
cp "$here/plugin/images/VidudUDE_32x32.png" "$here/plugin/images/AufmErzeugen_32x32.png" "$plugins/VidudUDE_data/"
winpath() { printf 'Z:%s' "$1" | tr '/' '\\'; }
wine "$build/win32/tools/demo/vidudude_demo.exe" \
  --plugin 'C:\Program Files\Datacomp\BIM Vision\plugins\VidudUDE.DLL' \
  --peer "$build/win32/tools/peer_sim/peer_sim.exe" \
  --model "$(winpath "$model")"
