#!/bin/sh
# Builds everything with clang under the address and undefined-behaviour
# sanitizers into ./build-asan (or $1) and runs the whole test suite there,
# leak detection on. The same build carries the fuzzing instrumentation, so
# fuzz/run.sh can use it without compiling the engine again:
#   FUZZ_BUILD_DIR=build-asan fuzz/run.sh 60
# Optimised lightly, with line tables only: the sanitizers' reports keep
# their file and line, and the build takes far less time than with full
# debug information.
set -eu
cd "$(dirname "$0")/.."
BUILD_DIR=${1:-build-asan}
CC=clang-14 CXX=clang++-14 cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only -DNDEBUG" \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only -DNDEBUG" \
  -DTESSEL_SANITIZE=address,undefined -DTESSEL_FUZZ=ON >/dev/null
cmake --build "$BUILD_DIR" -j "$(nproc)"
# Left out here, as they test nothing the sanitizers add to:
# - timings of whole-parse speed (parse_in_linear_time): instrumented code is
#   several times slower, and the ordinary build times them;
# - failed_creation_keeps_name: it takes every file descriptor away, and the
#   sanitizers' own runtime then cannot open what it needs to check a call;
# - the memory-limit test runs the program under ulimit -v, and the address
#   sanitizer reserves far more address space than any such limit.
EXCLUDE='parse_in_linear_time|failed_creation_keeps_name_but_never_deletes_it|hostile_inputs_open_within_four_times_their_size'
ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$BUILD_DIR" --output-on-failure -j "$(nproc)" --timeout 900 -E "$EXCLUDE"
