#!/bin/bash
# fuzz/run.sh [SECONDS] [TARGET...]
#
# Builds the libFuzzer targets (clang, address and undefined-behaviour
# sanitizers) and runs each named target (every target when none is named)
# for SECONDS (default 60) on its corpus: the seeds gathered from the shared
# corpus, samples/ and the tests' inputs, the committed seeds in
# fuzz/seeds/<target>, and what earlier runs grew in fuzz/work/<target>.
# An input taking over 2 seconds or 2 GB is a failure like a crash.
# Exits non-zero when any target reports a finding; the input is left in
# fuzz/work/<target>/artifacts.
#
# Environment: FUZZ_BUILD_DIR (default build-fuzz; configured here when it
# has no build files), FUZZ_NICE (default 10), FUZZ_FLAGS (more libFuzzer
# flags), FUZZ_NO_BUILD=1 to use the programs as they are, FUZZ_JOBS
# (default 1) targets at a time.
set -u
cd "$(dirname "$0")/.."
ROOT=$PWD
SECONDS_EACH=${1:-60}
shift 2>/dev/null || true
BUILD=${FUZZ_BUILD_DIR:-build-fuzz}
case $BUILD in /*) ;; *) BUILD=$ROOT/$BUILD ;; esac
CORPUS=${TESSEL_CORPUS:-$ROOT/../shared/corpus}
WORK=$ROOT/fuzz/work
ALL_TARGETS="message header codecs asn1 xml smime"
TARGETS=${*:-$ALL_TARGETS}

# Longest input per target: whole messages are bounded so that each run
# stays fast enough to explore; the parsers' own caps are tested by the
# unit tests with large inputs.
max_len() {
  case $1 in
    header) echo 4096 ;;
    codecs) echo 4096 ;;
    *) echo 65536 ;;
  esac
}

dict() {
  case $1 in
    message | header | smime) echo "$ROOT/fuzz/dicts/mime.dict" ;;
    codecs) echo "$ROOT/fuzz/dicts/codecs.dict" ;;
    asn1) echo "$ROOT/fuzz/dicts/asn1.dict" ;;
    xml) echo "$ROOT/fuzz/dicts/xml.dict" ;;
  esac
}

# Files of the shared corpus and of the tree that a target starts from.
# Large files are left out: the fuzzer cuts inputs at max_len anyway.
seed_files() {
  local small="-type f -size -200k"
  case $1 in
    message | header)
      [ -d "$CORPUS" ] && find "$CORPUS" $small \( -name '*.eml' -o -name '*.msg' -o -name '*.message' \
        -o -name '*.mbox' -o -name '*.multipart' -o -path '*/testmsgs/*' -o -path '*/cpython/*.txt' \
        -o -path '*/mimetools-testmsgs/*' \) ! -path '*/expected-*'
      find samples tests/ui/data tests/mime/data $small 2>/dev/null
      ;;
    codecs)
      [ -d "$CORPUS" ] && find "$CORPUS/vectors" $small
      find tests/util/data $small 2>/dev/null
      ;;
    asn1)
      [ -d "$CORPUS" ] && find "$CORPUS" $small \( -name '*.der' -o -name '*.ber' -o -name '*.cer' -o -name '*.crl' \
        -o -name '*.p7m' -o -name '*.p7s' -o -name '*.pri' -o -path '*/rfc4134/*.bin' \)
      find tests/asn1/data $small -name '*.der' 2>/dev/null
      ;;
    xml)
      [ -d "$CORPUS" ] && find "$CORPUS/xmlconf" "$CORPUS/libxml2" $small \( -name '*.xml' -o -name '*.ent' \
        -o -name '*.dtd' -o -name '*.xhtml' -o -name '*.rdf' \) | head -n 2500
      find tests/config/data tests/xml/data $small 2>/dev/null
      ;;
  esac
}

# fuzz/work/<target>/seeds, made once (delete it to gather again).
prepare_seeds() {
  local target=$1 dir=$WORK/$1/seeds
  [ -d "$dir" ] && return
  mkdir -p "$dir.tmp"
  local n=0 f
  if [ "$target" = smime ]; then
    # First byte 0: a message; 1: a PKCS #7 body.
    for f in $(seed_files message); do
      n=$((n + 1))
      { printf '\000'; cat "$f"; } >"$dir.tmp/m$n"
    done
    for f in $(seed_files asn1); do
      n=$((n + 1))
      { printf '\001'; cat "$f"; } >"$dir.tmp/p$n"
    done
  elif [ "$target" = header ]; then
    # Header lines (folded lines unfolded) of the message seeds.
    seed_files message | xargs -r cat | tr -d '\r' |
      awk '/^[A-Za-z-]+:/ { if (line != "") print line; line = $0; next } /^[ \t]/ { line = line $0; next } { if (line != "") print line; line = "" }' |
      grep -aiE '=\?|;|"' | sort -u | head -n 3000 | while IFS= read -r line; do
      n=$((n + 1))
      printf '\003%s' "$line" >"$dir.tmp/h$n"
    done
  else
    for f in $(seed_files "$target"); do
      n=$((n + 1))
      cp "$f" "$dir.tmp/s$n"
    done
    if [ "$target" = codecs ]; then
      # Every seed once for each charset byte and once for the transfer decoders.
      for f in "$dir.tmp"/s*; do
        for c in 00 0a 0b 0c 0d 0e 02 85; do { printf "\\x$c"; cat "$f"; } >"$f.$c"; done
        rm -f "$f"
      done
    fi
  fi
  mv "$dir.tmp" "$dir"
}

build() {
  if [ ! -f "$BUILD/build.ninja" ]; then
    CC=${CC:-clang-14} CXX=${CXX:-clang++-14} cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DTESSEL_SANITIZE=address,undefined -DTESSEL_FUZZ=ON >/dev/null || exit 2
  fi
  local names=""
  for t in $TARGETS; do names="$names fuzz_$t"; done
  cmake --build "$BUILD" --target $names -j "$(nproc)" || exit 2
}

[ "${FUZZ_NO_BUILD:-0}" = 1 ] || build

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# One libFuzzer run of target $1 for $2 seconds, appending to its log.
# Returns libFuzzer's status.
run_once() {
  local t=$1 secs=$2
  # shellcheck disable=SC2086
  nice -n "${FUZZ_NICE:-10}" "$BUILD/fuzz/fuzz_$t" -max_total_time="$secs" -timeout=2 -rss_limit_mb=2048 \
    -max_len="$(max_len "$t")" -dict="$(dict "$t")" -print_final_stats=1 \
    -artifact_prefix="$WORK/$t/artifacts/" ${FUZZ_FLAGS:-} \
    "$WORK/$t/corpus" "${seeds[@]}" >>"$WORK/$t/log" 2>&1
}

# Whether the timeout the last run reported came from the machine's load: a
# real hang or blow-up takes as long again alone, while an input that then
# passes three times running was only starved of the processor (other
# builds on the same cores).
spurious_timeout() {
  local t=$1 unit
  tail -n 30 "$WORK/$t/log" | grep -q 'libFuzzer: timeout' || return 1
  unit=$(sed -n 's/.*Test unit written to \(.*timeout-[0-9a-f]*\).*/\1/p' "$WORK/$t/log" | tail -n 1)
  [ -n "$unit" ] || return 1
  "$BUILD/fuzz/fuzz_$t" -timeout=2 -rss_limit_mb=2048 -runs=3 "$unit" >"$WORK/$t/recheck.log" 2>&1 || return 1
  echo "fuzz: $t: $(basename "$unit") passed alone three times: the timeout came from the machine's load"
  rm -f "$unit"
}

# Fuzzes target $1 for SECONDS_EACH, restarting after a timeout that came
# from the load; prints a summary, returns non-zero on a finding.
fuzz_target() {
  local t=$1 start runs=0 status left execs seeds
  seeds=("$WORK/$t/seeds")
  [ -d "$ROOT/fuzz/seeds/$t" ] && seeds+=("$ROOT/fuzz/seeds/$t")
  : >"$WORK/$t/log"
  start=$(date +%s)
  while :; do
    left=$((SECONDS_EACH - ($(date +%s) - start)))
    [ $left -ge 1 ] || left=1
    runs=$((runs + 1))
    run_once "$t" "$left"
    status=$?
    [ $status -ne 0 ] || break
    spurious_timeout "$t" || break
    status=0
    # Go on for the rest of the time (the grown corpus is kept).
    [ $(($(date +%s) - start)) -lt "$SECONDS_EACH" ] || break
    [ $runs -lt 20 ] || break
  done
  grep -E '^stat::|^#[0-9]+.*(DONE|INITED)' "$WORK/$t/log" | tail -n 7 | sed "s/^/fuzz: $t: /"
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$WORK/$t/log" | awk '{ n += $1 } END { print n + 0 }')
  echo "fuzz: $t: $runs run(s), $execs executions in $(($(date +%s) - start))s;" \
    "corpus $(find "$WORK/$t/corpus" -type f | wc -l) files"
  if [ $status -ne 0 ]; then
    echo "fuzz: $t FAILED (status $status); the end of $WORK/$t/log:"
    tail -n 60 "$WORK/$t/log"
  fi
  return $status
}

# FUZZ_JOBS targets at a time (default 1), each on one core.
JOBS=${FUZZ_JOBS:-1}
failed=""
running=()
finish() {
  local t=$1
  if wait "${pids[$t]}"; then :; else failed="$failed $t"; fi
  cat "$WORK/$t/summary"
}
declare -A pids
for t in $TARGETS; do
  [ -x "$BUILD/fuzz/fuzz_$t" ] || { echo "fuzz: no program $BUILD/fuzz/fuzz_$t" >&2; failed="$failed $t"; continue; }
  prepare_seeds "$t"
  mkdir -p "$WORK/$t/corpus" "$WORK/$t/artifacts"
  if [ ${#running[@]} -ge "$JOBS" ]; then
    finish "${running[0]}"
    running=("${running[@]:1}")
  fi
  echo "fuzz: $t for ${SECONDS_EACH}s"
  fuzz_target "$t" >"$WORK/$t/summary" 2>&1 &
  pids[$t]=$!
  running+=("$t")
done
for t in "${running[@]}"; do finish "$t"; done
if [ -n "$failed" ]; then
  echo "fuzz: findings in:$failed" >&2
  exit 1
fi
echo "fuzz: no findings in: $TARGETS"
