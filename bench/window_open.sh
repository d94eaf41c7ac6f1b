#!/bin/sh
# Times the document window on the generated benchmark messages: from the
# start of loading to the first complete paint, per view, with the peak
# memory of each run. Build with -DTESSEL_BENCH=ON first.
# Usage: bench/window_open.sh [BUILD_DIR] [DATA_DIR]
set -eu
cd "$(dirname "$0")/.."
BUILD=${1:-build}
DATA=${2:-$BUILD/bench-data}
mkdir -p "$DATA"
[ -f "$DATA/message_big.eml" ] && [ -f "$DATA/message_nested.eml" ] || python3 bench/message_gen.py "$DATA"
for f in "$DATA/message_big.eml" "$DATA/message_nested.eml"; do
  echo "$(basename "$f"): $(($(stat -c %s "$f") / 1048576)) MB"
  for view in tree panels; do
    for run in 1 2 3; do
      "$BUILD/bench/window_open" "$f" "$view"
    done
  done
done
