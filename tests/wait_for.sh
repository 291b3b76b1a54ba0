# Sourced by the script tests. wait_for FILE REGEX: waits up to 30 s until
# FILE has a line matching the extended regex, else calls the script's own
# fail with the file's text.
wait_for() {
  for _ in $(seq 600); do
    tr -d '\r' <"$1" 2>/dev/null | grep -qE -- "$2" && return 0
    sleep 0.05
  done
  fail "no line matching '$2' in $(basename "$1"): $(tr -d '\r' <"$1" 2>/dev/null)"
}
