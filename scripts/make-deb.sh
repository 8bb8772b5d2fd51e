#!/usr/bin/env bash
# Builds the Debian package torvi_VERSION_amd64.deb into the project folder
# from a build of its own, with Debian's hardening flags, and checks it:
# lintian (errors fail the build; its full report is printed), and the menu
# entry and software-centre description with their validators.
#   scripts/make-deb.sh [BUILD_DIR] [JOBS] [CMAKE FLAGS...]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-deb}
jobs=${2:-2}
shift $(($# < 2 ? $# : 2))

export DEB_BUILD_MAINT_OPTIONS=hardening=+all
flags() { dpkg-buildflags --get "$1"; }
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DTORVI_BUILD_TESTS=OFF -DTORVI_BUILD_BENCH=OFF \
    "-DCMAKE_C_FLAGS=$(flags CFLAGS) $(flags CPPFLAGS)" \
    "-DCMAKE_CXX_FLAGS=$(flags CXXFLAGS) $(flags CPPFLAGS)" \
    "-DCMAKE_EXE_LINKER_FLAGS=$(flags LDFLAGS)" "$@" >/dev/null
cmake --build "$build" -j"$jobs"
(cd "$build" && cpack -G DEB >/dev/null)

deb=$(cd "$build" && ls torvi_*_amd64.deb)
cp "$build/$deb" .
echo "Built $deb"

bash scripts/check-deb.sh "$deb"
if command -v lintian >/dev/null; then
    # --fail-on error: warnings are reported, errors stop make deb.
    lintian --fail-on error --info "$deb"
    echo "lintian: no errors"
else
    echo "lintian is missing: scripts/install-deps.sh deb installs it" >&2
    exit 1
fi
