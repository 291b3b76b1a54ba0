#!/usr/bin/env bash
# Checks every #include in the plug-in's folders against
# tools/include_rules.txt and names each one that goes the wrong way.
#   tools/check_includes.sh [source-root]
# Exits non-zero when an include is not allowed.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
root="$(cd "${1:-$here}" && pwd)"
rules="$here/tools/include_rules.txt"

mapfile -t folders < <(sed -n 's/^\([a-z_]*\/\):.*/\1/p' "$rules")
mapfile -t files < <(cd "$root" && find "${folders[@]}" -type f \( -name '*.h' -o -name '*.cpp' \) | sort)

(cd "$root" && awk -v rules="$rules" '
  BEGIN {
    while ((getline line < rules) > 0) {
      sub(/#.*/, "", line)
      if (line !~ /:/) continue
      folder = line; sub(/:.*/, "", folder)
      checked[folder] = 1
      rest = line; sub(/^[^:]*:/, "", rest)
      n = split(rest, entries, /[ \t]+/)
      for (i = 1; i <= n; i++) if (entries[i] != "") allowed[folder, entries[i]] = 1
    }
    project["tools/"] = project["tests/"] = 1
    for (f in checked) project[f] = 1
  }
  function allows(folder, target,    prefix, rest) {
    if (allowed[folder, target]) return 1
    prefix = target; sub(/\/.*/, "/", prefix)
    return allowed[folder, prefix]
  }
  # A line for a single file replaces the line of its folder, own folder included.
  FNR == 1 {
    own = FILENAME; sub(/\/.*/, "/", own); files++
    key = (FILENAME in checked) ? FILENAME : own
  }
  /^[ \t]*#[ \t]*include[ \t]*["<]/ {
    target = $0
    sub(/^[ \t]*#[ \t]*include[ \t]*/, "", target)
    angle = substr(target, 1, 1) == "<"
    target = substr(target, 2); sub(/[">].*/, "", target)
    if (angle) {
      # Standard headers have no extension; any other angle include is a
      # system or library header and must be listed.
      if (target !~ /\.h$/ || allowed[key, "<" target ">"]) next
      shown = "<" target ">"
    } else {
      top = target; sub(/\/.*/, "/", top)
      if (target !~ /\// || !(top in project) || (top == own && key == own) || allows(key, target)) next
      shown = "\"" target "\""
    }
    printf "%s:%d: %s may not include %s\n", FILENAME, FNR, key, shown
    wrong++
  }
  END {
    printf "== includes: %d files, %d wrong-way includes\n", files, wrong
    exit wrong > 0
  }
' "${files[@]}")
