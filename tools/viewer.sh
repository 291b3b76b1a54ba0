#!/usr/bin/env bash
# Installs the built plug-in into the Wine prefix in WINEPREFIX the way a
# user installs it into the viewer, puts the protocol guide's model at
# C:\Projekte\Haus.ifc, and starts the viewer simulator with its console.
#   tools/viewer.sh BUILD_DIR [model.ifc] [--timestamps[=clock]]
# Without a model it opens C:\Projekte\Haus.ifc (models/haus.ifc);
# --timestamps begins every line with the milliseconds since the start,
# --timestamps=clock with the local time as peers print it.
set -euo pipefail
build="$(realpath "$1")"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
: "${WINEPREFIX:?WINEPREFIX must name the Wine prefix}"
model='C:\Projekte\Haus.ifc'
options=()
for arg in "${@:2}"; do
  case "$arg" in
    --timestamps | --timestamps=clock) options+=("$arg") ;;
    *) model="Z:$(realpath "$arg" | tr '/' '\\')" ;;
  esac
done

plugins="$WINEPREFIX/drive_c/Program Files/Datacomp/BIM Vision/plugins"
mkdir -p "$plugins/VidudUDE_data" "$WINEPREFIX/drive_c/Projekte"
cp "$build/win32/VidudUDE.DLL" "$plugins/"
cp "$here/plugin/images/VidudUDE_32x32.png" "$here/plugin/images/AufmErzeugen_32x32.png" "$plugins/VidudUDE_data/"
cp "$here/models/haus.ifc" "$WINEPREFIX/drive_c/Projekte/Haus.ifc"
exec wine "$build/win32/tools/viewer_sim/viewer_sim.exe" --console \
  --plugin 'C:\Program Files\Datacomp\BIM Vision\plugins\VidudUDE.DLL' --model "$model" "${options[@]}"
