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

# next_message FILE CODE: waits for the next "recv code=CODE " line of a
# peer_sim log past those an earlier call (or messages_seen_all) passed,
# else fails with the messages that came instead. Messages of other codes
# are passed over, so that a test waits only for the one it is about.
declare -A messages_seen
recv_lines() { tr -d '\r' <"$1" 2>/dev/null | grep -E '^recv code=' | tail -n +$((${messages_seen[$1]:-0} + 1)); }
next_message() {
  local end=$((SECONDS + wait_limit)) line n
  until false; do
    n=0
    while IFS= read -r line; do
      n=$((n + 1))
      if [[ "$line" == "recv code=$2 "* ]]; then
        messages_seen[$1]=$((${messages_seen[$1]:-0} + n))
        return 0
      fi
    done < <(recv_lines "$1")
    [ "$SECONDS" -lt "$end" ] || fail "no message of code $2 in $(basename "$1"), only: $(recv_lines "$1")"
    sleep 0.05
  done
}
# messages_seen_all FILE: the messages FILE shows so far count as passed.
messages_seen_all() { messages_seen[$1]=$(tr -d '\r' <"$1" | grep -cE '^recv code='); }
