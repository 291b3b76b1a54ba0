#!/usr/bin/env bash
# Checks every #include in the plug-in's folders against
# tools/include_rules.txt and names each one that goes the wrong way. An
# include counts as the file it opens, however it is spelled: a "../" path or
# a project path in angle brackets as that path, a system header in quotes as
# the same header in angle brackets. A computed include cannot be checked and
# is named too.
#   tools/check_includes.sh [source-root]
# Exits non-zero when an include is not allowed.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
root="$(cd "${1:-$here}" && pwd)"
rules="$here/tools/include_rules.txt"

mapfile -t folders < <(sed -n 's/^\([a-z_]*\/\):.*/\1/p' "$rules")
mapfile -t files < <(cd "$root" && find "${folders[@]}" -type f \( -name '*.h' -o -name '*.hpp' -o -name '*.inl' \
  -o -name '*.c' -o -name '*.cc' -o -name '*.cpp' \) | sort)

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
  function allows(folder, target,    prefix) {
    if (allowed[folder, target]) return 1
    prefix = target; sub(/\/.*/, "/", prefix)
    return allowed[folder, prefix]
  }
  function top(path,    t) { t = path; if (t !~ /\//) return ""; sub(/\/.*/, "/", t); return t }
  # The path with "." and ".." taken out; one that climbs above the source
  # root keeps its leading "../".
  function normal(path,    n, parts, out, k, i) {
    n = split(path, parts, "/"); k = 0
    for (i = 1; i <= n; i++) {
      if (parts[i] == "" || parts[i] == ".") continue
      if (parts[i] == ".." && k > 0 && out[k] != "..") { k--; continue }
      out[++k] = parts[i]
    }
    path = ""
    for (i = 1; i <= k; i++) path = path (i > 1 ? "/" : "") out[i]
    return path
  }
  function exists(path,    line, r) {
    r = (getline line < path); close(path)
    return r >= 0
  }
  # A line for a single file replaces the line of its folder, own folder included.
  FNR == 1 {
    own = FILENAME; sub(/\/.*/, "/", own); files++
    key = (FILENAME in checked) ? FILENAME : own
    dir = FILENAME; sub(/\/[^\/]*$/, "", dir)
  }
  /^[ \t]*#[ \t]*include([ \t"<]|$)/ {
    target = $0
    sub(/^[ \t]*#[ \t]*include[ \t]*/, "", target)
    delim = substr(target, 1, 1)
    if (delim != "<" && delim != "\"") {
      # A computed include cannot be checked.
      shown = target
    } else {
      target = substr(target, 2); sub(/[">].*/, "", target)
      shown = delim target (delim == "<" ? ">" : "\"")
      # What the compiler opens: a quoted include beside the including file
      # first, then below the source root (the one include directory); any
      # other include is a system or library header.
      path = ""
      if (delim == "\"" && exists(normal(dir "/" target))) path = normal(dir "/" target)
      else if ((top(normal(target)) in project) || exists(normal(target))) path = normal(target)
      else if (delim == "\"" && target ~ /\.\.\//) path = normal(dir "/" target)
      if (path == "") {
        # Standard headers have no extension; every other header is listed.
        if (target !~ /\./ || allowed[key, "<" target ">"]) next
      } else {
        if ((top(path) == own && key == own) || allows(key, path)) next
        if (path != target) shown = shown " (" path ")"
      }
    }
    printf "%s:%d: %s may not include %s\n", FILENAME, FNR, key, shown
    wrong++
  }
  END {
    printf "== includes: %d files, %d wrong-way includes\n", files, wrong
    exit wrong > 0
  }
' "${files[@]}")
