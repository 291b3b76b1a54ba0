#!/usr/bin/env bash
# Plays the demo with screenshots on a virtual display and checks the
# pictures.   screenshots_test.sh BUILD_DIR OUT_DIR
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="$1"
out="$2"
mkdir -p "$out"
if ! "$here/tools/demo.sh" "$build" --screenshots "$out" >"$out/demo.log" 2>&1; then
  cat "$out/demo.log"
  exit 1
fi
grep '^  screenshot ' "$out/demo.log"
python3 "$here/tests/screenshots/check_screenshots.py" "$out" 560x300
