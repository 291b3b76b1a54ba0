#!/usr/bin/env bash
# A short campaign of tools/fuzz_campaign.sh on a copy of one harness's
# corpus: the named inputs stay, an SHA-1-named one that adds no coverage is
# merged away, new coverage is kept, and the summary counts the executions.
#   tests/fuzz/campaign_test.sh FUZZ_BUILD_DIR
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
h=view_state_fuzz
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/build" "$work/corpus"
ln -s "$(cd "$1" && pwd)/$h" "$work/build/$h"
cp -r "$here/tests/fuzz/corpus/$h" "$work/corpus/"
find "$work/corpus/$h" -regextype posix-extended -type f -regex '.*/[0-9a-f]{40}' -delete
named=$(find "$work/corpus/$h" -type f | wc -l)
stale=0123456789abcdef0123456789abcdef01234567
cp "$(find "$work/corpus/$h" -type f | head -n 1)" "$work/corpus/$h/$stale"

fail() {
  echo "FAILED: $*"
  exit 1
}
out="$(FUZZ_HARNESSES=$h FUZZ_CORPUS="$work/corpus" "$here/tools/fuzz_campaign.sh" "$work/build" -runs=20000 -seed=1)" ||
  fail "the campaign failed: $out"
echo "$out"
echo "$out" | grep -Eq "^$h +20000 +[0-9]+ +[0-9]+ +[0-9]+ " || fail "no summary line of 20000 executions"
[ ! -e "$work/corpus/$h/$stale" ] || fail "an input without new coverage was kept"
for f in "$here/tests/fuzz/corpus/$h"/*; do
  [[ "$(basename "$f")" =~ ^[0-9a-f]{40}$ ]] || cmp -s "$f" "$work/corpus/$h/$(basename "$f")" || fail "$f was lost"
done
[ "$(find "$work/corpus/$h" -type f | wc -l)" -gt "$named" ] || fail "nothing new was kept"
echo "campaign test passed"
