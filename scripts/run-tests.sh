#!/bin/sh
# Installs what is needed, builds everything and runs the whole test suite;
# then the desktop session test of the installed program on a real X server
# (Xvfb) and the Debian package with its checks (scripts/package.sh --check);
# then the same suite built with clang under the address and
# undefined-behaviour sanitizers, and a one-minute run of every fuzz target
# on its seed corpus (sharing that build). After each test run, one line
# names the tests skipped for want of the shared corpus (a failure under CI).
# The sources' layout is checked against .clang-format first
# (scripts/check-format.sh --fix rewrites them).
set -eu
cd "$(dirname "$0")/.."
./scripts/deps.sh
status=0
./scripts/check-format.sh || status=1
./scripts/build.sh build -DTESSEL_WERROR=ON
ctest --test-dir build --output-on-failure -j "$(nproc)" --timeout 600 || status=$?
./scripts/corpus-skips.sh build || status=1
xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" python3 tests/e2e/desktop_session.py build || status=1
./scripts/package.sh --check >build/package.log || { cat build/package.log; status=1; }
[ "$status" -eq 0 ] || exit "$status"
./scripts/sanitize-tests.sh build-asan
./scripts/corpus-skips.sh build-asan
FUZZ_BUILD_DIR=build-asan FUZZ_NICE=0 FUZZ_JOBS="$(nproc)" fuzz/run.sh "${FUZZ_SECONDS:-60}"
