#!/usr/bin/env bash
# A libFuzzer campaign over every harness in tests/fuzz/, one harness per core
# at a time. Each harness's new inputs go to BUILD_DIR/corpus/<harness>/; when
# it ends they are merged with the committed corpus into a minimal set that
# keeps all coverage, which replaces the committed one. Inputs with a name of
# their own (seeds, inputs of faults found) always stay; the merge chooses
# among the others, named by their SHA-1. Logs and crashing inputs go to
# BUILD_DIR/artifacts/. A table of executions, runs per second, coverage and
# corpus sizes ends the output.
#   tools/fuzz_campaign.sh BUILD_DIR LIBFUZZER_OPTION...   (./run fuzz)
# FUZZ_JOBS sets the number of harnesses run at once (default: the cores),
# FUZZ_HARNESSES which ones (default: all), FUZZ_CORPUS the corpus folder.
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here" || exit 2
build="$1"
shift
options=("$@")
artifacts="$build/artifacts"
corpus="${FUZZ_CORPUS:-tests/fuzz/corpus}"
hashed='.*/[0-9a-f]{40}'
mkdir -p "$artifacts"

harnesses=()
for src in tests/fuzz/*_fuzz.cpp; do harnesses+=("$(basename "$src" .cpp)"); done
[ -n "${FUZZ_HARNESSES:-}" ] && read -ra harnesses <<<"$FUZZ_HARNESSES"

merge() {
  local h="$1" into="$build/merge/$1"
  rm -rf "$into"
  mkdir -p "$into"
  find "$corpus/$h" -regextype posix-extended -type f ! -regex "$hashed" -exec cp {} "$into/" \;
  "$build/$h" -merge=1 -timeout=10 "$into" "$corpus/$h" "$build/corpus/$h" >"$artifacts/$h-merge.log" 2>&1 ||
    return 1
  find "$corpus/$h" -regextype posix-extended -type f -regex "$hashed" -delete
  find "$into" -regextype posix-extended -type f -regex "$hashed" -exec cp {} "$corpus/$h/" \;
}

campaign() {
  local h="$1" dict=() rc=0
  [ -f "tests/fuzz/$h.dict" ] && dict=(-dict="tests/fuzz/$h.dict")
  mkdir -p "$build/corpus/$h"
  "$build/$h" "${options[@]}" -timeout=10 -print_final_stats=1 "${dict[@]}" -artifact_prefix="$artifacts/$h-" \
    "$build/corpus/$h" "$corpus/$h" >"$artifacts/$h.log" 2>&1 || rc=1
  merge "$h" || rc=$((rc | 2))
  echo "$rc" >"$artifacts/$h.rc"
}

echo "fuzzing ${harnesses[*]} (${options[*]}), ${FUZZ_JOBS:-$(nproc)} at a time; logs in $artifacts/"
for h in "${harnesses[@]}"; do
  rm -f "$artifacts/$h.rc"
  while [ "$(jobs -rp | wc -l)" -ge "${FUZZ_JOBS:-$(nproc)}" ]; do wait -n; done
  campaign "$h" &
done
wait

stat() { grep -o "$1: *[0-9]*" "$2" | tail -n 1 | grep -o '[0-9]*$' || echo '?'; }
status=0
printf '%-16s %12s %8s %6s %9s %14s\n' harness executions runs/s edges features corpus
for h in "${harnesses[@]}"; do
  log="$artifacts/$h.log"
  files=$(find "$corpus/$h" -type f | wc -l)
  size=$(du -sk --apparent-size "$corpus/$h" | cut -f1)
  printf '%-16s %12s %8s %6s %9s %14s\n' "$h" "$(stat number_of_executed_units "$log")" \
    "$(stat average_exec_per_sec "$log")" "$(stat cov "$log")" "$(stat ft "$log")" "$files files, ${size} KB"
done
for h in "${harnesses[@]}"; do
  rc="$(cat "$artifacts/$h.rc" 2>/dev/null || echo 1)"
  if [ $((rc & 1)) -ne 0 ]; then
    status=1
    echo "$h FAILED: $artifacts/$h.log"
    grep -E '^(==[0-9]+==ERROR|SUMMARY|invariant broken)|Test unit written to' "$artifacts/$h.log"
  fi
  if [ $((rc & 2)) -ne 0 ]; then
    status=1
    echo "$h: the corpus merge failed ($artifacts/$h-merge.log); $corpus/$h/ is unchanged"
  fi
done
exit $status
