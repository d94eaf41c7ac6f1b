#!/bin/sh
# Installs what is needed, builds Tessel and opens the viewer on two bundled
# sample messages (a plain one with an attachment and a signed one).
# Without a display it says so and prints the samples' structure instead.
set -eu
cd "$(dirname "$0")/.."
./scripts/deps.sh
./scripts/build.sh build
SAMPLES="samples/multipart-attachment.eml docs/samples/signed-figures.eml"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "open-sample.sh: no display (DISPLAY and WAYLAND_DISPLAY are unset); the structure as the viewer shows it:" >&2
  for f in $SAMPLES; do
    echo "==> $f <=="
    ./build/tessel --dump "$f"
  done
  exit 0
fi
# shellcheck disable=SC2086
exec ./build/tessel $SAMPLES
