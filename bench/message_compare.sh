#!/bin/sh
# Times `tessel --check` against GMime (bench/message_gmime, built with
# -DTESSEL_BENCH=ON) and Python's email package (bench/message_python.py) on
# the message files of bench/message_gen.py: a ~100 MB message with 40
# base64 attachments, a ~20 MB message with ~5000 nested parts, and a message
# with 50,000 header lines of encoded words. Each program runs RUNS times
# (default 3); the table gives the best wall time and the best processor time
# (user + system, meaningful on a loaded machine) with MB/s for both, and the
# peak memory. Every program prints the same totals line; they are shown so
# that the work done can be compared.
# Usage: bench/message_compare.sh TESSEL_BINARY GMIME_BINARY [WORKDIR]
set -eu
tessel=${1:?usage: message_compare.sh TESSEL_BINARY GMIME_BINARY [WORKDIR]}
gmime=${2:?usage: message_compare.sh TESSEL_BINARY GMIME_BINARY [WORKDIR]}
work=${3:-/tmp/tessel-message-bench}
here=$(cd "$(dirname "$0")" && pwd)
runs=${RUNS:-3}
[ -f "$work/message_headers.eml" ] || python3 "$here/message_gen.py" "$work" --lf
results="$work/results.txt"
: > "$results"
for file in message_big message_big_lf message_nested message_headers; do
  path="$work/$file.eml"
  [ -f "$path" ] || continue
  for tool in tessel gmime python; do
    case $tool in
      tessel) cmd="$tessel --check $path" ;;
      gmime) cmd="$gmime $path" ;;
      python) cmd="python3 $here/message_python.py $path" ;;
    esac
    i=0
    while [ $i -lt "$runs" ]; do
      /usr/bin/time -f "TIME %e %U %S %M" $cmd > "$work/out.txt" 2> "$work/err.txt" || true
      echo "$file $tool $(grep '^TIME' "$work/err.txt") $(head -1 "$work/out.txt")" >> "$results"
      i=$((i + 1))
    done
  done
done
python3 - "$results" "$work" <<'PY'
import os, sys
rows = {}
for line in open(sys.argv[1]):
    f = line.split()
    file, tool, wall, user, sys_, rss = f[0], f[1], float(f[3]), float(f[4]), float(f[5]), int(f[6])
    totals = " ".join(f[7:])
    r = rows.setdefault((file, tool), dict(wall=1e9, cpu=1e9, rss=0, totals=totals))
    r["wall"] = min(r["wall"], wall)
    r["cpu"] = min(r["cpu"], user + sys_)
    r["rss"] = max(r["rss"], rss)
print(f"{'file':16} {'program':7} {'MB':>6} {'wall s':>7} {'MB/s':>7} {'cpu s':>7} {'MB/s':>7} {'peak MB':>8}")
for (file, tool), r in rows.items():
    mb = os.path.getsize(os.path.join(sys.argv[2], file + ".eml")) / 1e6
    print(f"{file:16} {tool:7} {mb:6.1f} {r['wall']:7.2f} {mb / max(r['wall'], 0.005):7.0f} "
          f"{r['cpu']:7.2f} {mb / max(r['cpu'], 0.005):7.0f} {r['rss'] / 1024:8.0f}")
print()
for (file, tool), r in rows.items():
    print(f"{file:16} {tool:7} {r['totals']}")
PY
