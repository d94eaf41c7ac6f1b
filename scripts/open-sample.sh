#!/bin/sh
# Installs what is needed, builds Tessel and opens it on a bundled sample message.
set -eu
cd "$(dirname "$0")/.."
./scripts/deps.sh
./scripts/build.sh build
exec ./build/tessel --dump samples/multipart-attachment.eml
