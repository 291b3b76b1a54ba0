# Sourced by the script tests: waits for events, each bounded only so that a
# test whose event never comes ends. The bound is generous enough for Wine
# on a machine whose cores are all busy.
wait_limit=120

# wait_until WHAT COMMAND...: runs COMMAND until it succeeds; after
# wait_limit seconds calls the script's own fail with WHAT.
wait_until() {
  local what="$1" end=$((SECONDS + wait_limit))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$end" ] || fail "$what"
    sleep 0.05
  done
}

# wait_for FILE REGEX: waits until FILE has a line matching the extended
# regex, else fails with the file's text.
has_line() { tr -d '\r' <"$1" 2>/dev/null | grep -qE -- "$2"; }
wait_for() {
  local end=$((SECONDS + wait_limit))
  until has_line "$1" "$2"; do
    [ "$SECONDS" -lt "$end" ] ||
      fail "no line matching '$2' in $(basename "$1"): $(tr -d '\r' <"$1" 2>/dev/null)"
    sleep 0.05
  done
}
