#!/usr/bin/env bash
# The test command: installs what is missing, builds warning-free with -Werror, runs every test,
# then builds and runs them once more under AddressSanitizer and UndefinedBehaviorSanitizer
# (with clang, which also builds the fuzz targets and gives each a short run).
# Set KOVA_SKIP_SANITIZERS=1 to run the first pass only.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

scripts/install-deps.sh test

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    XDG_RUNTIME_DIR=$(mktemp -d)
    trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
fi
export XDG_RUNTIME_DIR
chmod 700 "$XDG_RUNTIME_DIR"

cmake -S . -B build/test -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKOVA_WERROR=ON -DKOVA_BUILD_FUZZ=OFF
cmake --build build/test -j"$jobs"
ctest --test-dir build/test --output-on-failure -j"$jobs"

if [ "${KOVA_SKIP_SANITIZERS:-0}" != 1 ]; then
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    export LSAN_OPTIONS="suppressions=$root/tests/support/lsan.supp"
    CC=clang CXX=clang++ cmake -S . -B build/sanitize -DCMAKE_BUILD_TYPE=Debug \
        -DKOVA_WERROR=ON -DKOVA_SANITIZE=ON -DKOVA_BUILD_BENCH=OFF
    cmake --build build/sanitize -j"$jobs"
    ctest --test-dir build/sanitize --output-on-failure -j"$jobs"
fi
