#!/bin/sh
# Installs what is needed, builds everything and runs the whole test suite.
set -eu
cd "$(dirname "$0")/.."
./scripts/deps.sh
./scripts/build.sh build
ctest --test-dir build --output-on-failure -j "$(nproc)" --timeout 600
