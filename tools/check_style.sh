#!/usr/bin/env bash
# Checks the project's C and C++ files against .clang-format and the folders'
# includes against tools/include_rules.txt, and runs clang-tidy (.clang-tidy)
# over the plug-in: the logic with the native compile commands, the Win32
# code in platform/ and plugin/ with those of the mingw cross build.
#   tools/check_style.sh [--format-only | --tidy-only]
# Needs build/native and build/win32 (./run build makes them). Exits
# non-zero when a file is not formatted, an include goes the wrong way or
# clang-tidy reports anything.
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"
mode="${1:-all}"
rc=0

if [ "$mode" != "--tidy-only" ]; then
  mapfile -t sources < <(git ls-files '*.cpp' '*.h' '*.c')
  echo "== clang-format: ${#sources[@]} files"
  clang-format --dry-run -Werror "${sources[@]}" || rc=1
  tools/check_includes.sh || rc=1
fi

if [ "$mode" != "--format-only" ]; then
  db="$here/build/native"
  if [ ! -f "$db/compile_commands.json" ]; then
    echo "no $db/compile_commands.json: run ./run build first" >&2
    exit 2
  fi
  mapfile -t logic < <(git ls-files 'bridge/*.cpp' 'peer_link/*.cpp' 'host_api/*.cpp' \
    plugin/plugin_lifecycle.cpp plugin/controller_holder.cpp diagnose/diagnosis.cpp diagnose/options.cpp)
  echo "== clang-tidy: ${#logic[@]} files"
  # The compile commands carry g++-only warning flags that clang does not know.
  # Its count of warnings suppressed in system headers is noise.
  clang-tidy -p "$db" --quiet --extra-arg=-Wno-unknown-warning-option "${logic[@]}" \
    2> >(grep -v -E 'warnings( and [0-9]+ errors)? generated' >&2) || rc=1

  # The plug-in DLL's own sub-build holds the commands for platform/ and
  # plugin/. clang is told the target and given the C++ and system headers of
  # the mingw compiler in those commands, not its compiler-internal ones.
  wdb="$here/build/win32/plugin-build"
  if [ ! -f "$wdb/compile_commands.json" ]; then
    echo "no $wdb/compile_commands.json: run ./run build first" >&2
    exit 2
  fi
  cxx="$(sed -n 's/^ *"command": "\([^ ]*\) .*/\1/p' "$wdb/compile_commands.json" | head -n 1)"
  cross=(--extra-arg=--target=i686-w64-mingw32 --extra-arg=-nostdinc++)
  while read -r dir; do
    cross+=(--extra-arg=-isystem"$dir")
  done < <("$cxx" -xc++ -E -v /dev/null 2>&1 | sed -n '/#include <...> search/,/End of search/s/^ //p' |
    grep -v -E '/gcc/[^/]+/[^/]+/include(-fixed)?$')
  mapfile -t win32 < <(git ls-files 'platform/*.cpp' 'plugin/*.cpp')
  echo "== clang-tidy, mingw: ${#win32[@]} files"
  clang-tidy -p "$wdb" --quiet --extra-arg=-Wno-unknown-warning-option "${cross[@]}" "${win32[@]}" \
    2> >(grep -v -E 'warnings( and [0-9]+ errors)? generated' >&2) || rc=1
  # The diagnosis's Windows side is built in the main cross tree.
  mapfile -t diagnose < <(git ls-files 'diagnose/*.cpp' | grep -v '^diagnose/diagnosis\.cpp$')
  echo "== clang-tidy, mingw: ${#diagnose[@]} files of the diagnosis"
  clang-tidy -p "$here/build/win32" --quiet --extra-arg=-Wno-unknown-warning-option "${cross[@]}" "${diagnose[@]}" \
    2> >(grep -v -E 'warnings( and [0-9]+ errors)? generated' >&2) || rc=1
fi

exit $rc
