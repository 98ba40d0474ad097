#!/usr/bin/env bash
# Builds the Debian package kova-test-tool_VERSION-REVISION_ARCH.deb from a Release build of its
# own: the tool, kovactl and kova-module-sim with their man pages, the desktop entry and its
# AppStream metadata, and the Wireshark dissector in Wireshark's global Lua plugins folder.
# Usage: scripts/package.sh [output folder, default: the repository root]
# KOVA_BUILD_DIR names the build folder (default build/package), KOVA_JOBS the compilers run at
# once (default: one a processor); further cmake options, such as
# -DKOVA_PACKAGE_MAINTAINER="Name <address>" or -DKOVA_DEBIAN_REVISION=2, go in
# KOVA_PACKAGE_OPTIONS.
set -euo pipefail
cd "$(dirname "$0")/.."

mkdir -p "${1:-.}"
out=$(realpath "${1:-.}")
build="${KOVA_BUILD_DIR:-build/package}"

scripts/install-deps.sh package

# Debian's hardening flags, all of them; no debug information, since the package's binaries
# are stripped.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CXXFLAGS_MAINT_STRIP=-g
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
# The package's dates follow the last commit: the same sources give the same package.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || date +%s)
fi
export SOURCE_DATE_EPOCH

# shellcheck disable=SC2086 # KOVA_PACKAGE_OPTIONS holds several words
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DKOVA_PACKAGE=ON \
    -DKOVA_BUILD_TESTS=OFF -DKOVA_BUILD_BENCH=OFF -DKOVA_BUILD_FUZZ=OFF \
    -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" \
    ${KOVA_PACKAGE_OPTIONS:-} > /dev/null
cmake --build "$build" -j"${KOVA_JOBS:-$(nproc)}"
rm -f "$build"/kova-test-tool_*.deb
(cd "$build" && cpack -G DEB > /dev/null)
for deb in "$build"/kova-test-tool_*.deb; do
    mv "$deb" "$out/"
    echo "$out/$(basename "$deb")"
done
