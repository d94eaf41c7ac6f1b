#!/bin/sh
# Names, in one line, the tests of the last ctest run in BUILD_DIR (default
# ./build) that skipped because the shared test corpus is missing (their skip
# message starts with "corpus missing: "). Under CI (CI=true) any such skip
# fails: a green run that checked nothing must not pass there.
set -eu
LOG=${1:-build}/Testing/Temporary/LastTest.log
[ -f "$LOG" ] || exit 0
skipped=$(awk '/^[0-9]+\/[0-9]+ Test: / { name = $3 }
               /^corpus missing: / && !seen[name]++ { printf "%s%s", sep, name; sep = ", " }' "$LOG")
[ -n "$skipped" ] || exit 0
echo "SKIPPED, shared test corpus missing: $skipped"
if [ "${CI:-}" = true ]; then
  echo "CI=true: every corpus test must run; failing" >&2
  exit 1
fi
