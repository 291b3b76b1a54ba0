#!/usr/bin/env bash
# wine_prefix.sh COMMAND...: runs a Wine test's command in the Wine prefix
# that CTest allotted it (resource "wineprefix", see ./run test), so that
# tests running at the same time never see each other's processes and
# windows: prefix <id> is $WINEPREFIX-<id>, a copy of the ready prefix in
# WINEPREFIX, made again whenever that one is newer. Without an allotment
# (ctest without a resource file) the command runs in WINEPREFIX itself.
set -euo pipefail
allotted="${CTEST_RESOURCE_GROUP_0_WINEPREFIX:-}"
if [ -n "$allotted" ]; then
  ready="${WINEPREFIX:?WINEPREFIX must name the ready Wine prefix}"
  id="${allotted#id:}"
  id="${id%%,*}"
  prefix="$ready-$id"
  if [ ! "$prefix/.copied" -nt "$ready/.vidudude-ready" ]; then
    WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
    rm -rf "$prefix"
    cp -a "$ready" "$prefix"
    touch "$prefix/.copied"
  fi
  export WINEPREFIX="$prefix"
fi
exec "$@"
