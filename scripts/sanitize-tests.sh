#!/bin/sh
# Builds everything with clang under the address and undefined-behaviour
# sanitizers into ./build-asan (or $1) and runs the whole test suite there,
# leak detection on. The same build carries the fuzzing instrumentation, so
# fuzz/run.sh can use it without compiling the engine again:
#   FUZZ_BUILD_DIR=build-asan fuzz/run.sh 60
set -eu
cd "$(dirname "$0")/.."
BUILD_DIR=${1:-build-asan}
CC=clang-14 CXX=clang++-14 cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTESSEL_SANITIZE=address,undefined -DTESSEL_FUZZ=ON >/dev/null
cmake --build "$BUILD_DIR" -j "$(nproc)"
ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0 \
  ctest --test-dir "$BUILD_DIR" --output-on-failure -j "$(nproc)" --timeout 900
