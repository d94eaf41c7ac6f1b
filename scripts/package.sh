#!/bin/sh
# Builds the Debian package of Tessel (cpack -G DEB) from the build in
# ./build (or $BUILD_DIR) into BUILD_DIR/package and shows its control data
# and contents.
#
# With --check it also proves the package: its files are exactly the
# installed tree, apt can satisfy its dependencies on this system (a
# simulated install), dpkg installs it into a throwaway root whose package
# database is a copy of this system's (so its dependencies are checked
# against what is installed here), the program installed there runs a
# headless command, and the program unpacked from it passes the desktop
# session test under Xvfb.
# Usage: scripts/package.sh [--check]
set -eu
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
check=no
[ "${1:-}" = "--check" ] && check=yes
./scripts/deps.sh
[ -f "$BUILD_DIR/CMakeCache.txt" ] || ./scripts/build.sh "$BUILD_DIR"
cmake --build "$BUILD_DIR" -j "$(nproc)"
OUT="$(cd "$BUILD_DIR" && pwd)/package"
rm -rf "$OUT"
cpack --config "$BUILD_DIR/CPackConfig.cmake" -G DEB -B "$OUT" >/dev/null
deb=$(ls "$OUT"/tessel_*.deb)
echo "$deb"
dpkg-deb -I "$deb"
dpkg-deb -c "$deb"
[ "$check" = yes ] || exit 0

fail() { echo "package check: $*" >&2; exit 1; }
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libqt6network6 libqt6svg6 libssl3 libglib2.0-0 shared-mime-info; do
  echo "$depends" | grep -q "$lib" || fail "Depends lacks $lib: $depends"
done
# Files only, as paths below the prefix, against the list the install test uses.
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub("^\\./usr/", "", $6); print $6 }' | sort >"$OUT/files.txt"
sort tests/e2e/installed-files.txt | diff -u - "$OUT/files.txt" || fail "package contents differ from the installed tree"
# apt must find every dependency on this Debian system.
apt-get install --simulate -qq "$deb" >"$OUT/apt-simulate.txt" 2>&1 || { cat "$OUT/apt-simulate.txt" >&2; fail "apt cannot install it"; }
root="$OUT/root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
cp /var/lib/dpkg/status "$root/var/lib/dpkg/status"
touch "$root/var/lib/dpkg/available"
# dpkg warns about every package of the copied database that has no file list there.
notroot=""
[ "$(id -u)" -eq 0 ] || notroot=--force-not-root
dpkg --root="$root" $notroot -i "$deb" >"$OUT/dpkg-install.txt" 2>&1 || { cat "$OUT/dpkg-install.txt" >&2; fail "dpkg cannot install it"; }
[ "$(dpkg --root="$root" -s tessel 2>/dev/null | sed -n 's/^Status: //p')" = "install ok installed" ] || fail "not installed"
"$root/usr/bin/tessel" --dump samples/multipart-attachment.eml >/dev/null || fail "the packaged program does not run"
xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" python3 tests/e2e/desktop_session.py --deb "$deb" "$BUILD_DIR"
echo "package check: passed"
