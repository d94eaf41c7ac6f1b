#!/bin/sh
# The two programs: `tessel` loads no window library, runs the headless
# commands alone, says clearly when the viewer is missing, and the viewer it
# starts keeps a portable install's settings beside `tessel` itself.
# Usage: launcher.sh BUILD_DIR SAMPLE.eml
set -u
build=$1 sample=$2
tmp=$(mktemp -d "${TMPDIR:-/tmp}/tessel-launcher.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
fail() { echo "launcher test: $*" >&2; exit 1; }

needed=$(readelf -d "$build/tessel" | sed -n 's/.*Shared library: \[\(.*\)\]/\1/p')
[ -n "$needed" ] || fail "readelf lists no libraries of $build/tessel"
echo "$needed" | grep -Eq 'Qt6|libgio|libglib|libX' && fail "tessel loads window libraries: $needed"

# The launcher alone: commands run, the viewer's absence is named.
mkdir "$tmp/alone"
cp "$build/tessel" "$tmp/alone/tessel"
"$tmp/alone/tessel" --dump "$sample" >/dev/null || fail "--dump fails without the viewer"
"$tmp/alone/tessel" --help | grep -q -- "--screenshot" || fail "--help does not list --screenshot"
"$tmp/alone/tessel" "$sample" 2>"$tmp/err.txt"
status=$?
[ "$status" -eq 127 ] || fail "a missing viewer ends with $status, not 127"
grep -q "viewer program is missing; looked for $tmp/alone/tessel-viewer $tmp/alone/../libexec/tessel/tessel-viewer" \
  "$tmp/err.txt" || fail "unexpected message: $(cat "$tmp/err.txt")"

# A portable install: the viewer writes its settings as tessel.ini.xml
# beside tessel, the program the user ran.
mkdir "$tmp/portable"
cp "$build/tessel" "$build/tessel-viewer" "$sample" "$tmp/portable/"
export TESSEL_INSTANCE_NAME="$tmp/instance" QT_QPA_PLATFORM=offscreen
"$tmp/portable/tessel" "$tmp/portable/$(basename "$sample")" >/dev/null 2>"$tmp/viewer.txt" &
pid=$!
i=0
while [ ! -S "$tmp/instance" ] && [ $i -lt 600 ]; do
  kill -0 $pid 2>/dev/null || fail "the viewer ended early: $(cat "$tmp/viewer.txt")"
  sleep 0.1
  i=$((i + 1))
done
[ -S "$tmp/instance" ] || { kill $pid; fail "the viewer did not start within 60 s"; }
# A second start hands the file over and ends once the first, now running
# its window, has taken it.
"$tmp/portable/tessel" "$sample" 2>>"$tmp/viewer.txt" || fail "the second start failed: $(cat "$tmp/viewer.txt")"
kill -TERM $pid
wait $pid || fail "the viewer ended with $? on SIGTERM: $(cat "$tmp/viewer.txt")"
[ -f "$tmp/portable/tessel.ini.xml" ] || fail "no tessel.ini.xml beside tessel: $(ls "$tmp/portable")"
[ ! -e "$tmp/portable/tessel-viewer.ini.xml" ] || fail "settings written under the viewer's name"
echo "launcher test: passed"
