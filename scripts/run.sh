#!/usr/bin/env bash
# The run command: installs what is missing, builds the tool and starts it. Without arguments it
# runs against the virtual module (--simulate); any arguments go to the tool instead, for
# example `scripts/run.sh --port /dev/ttyUSB0` for a module on a real serial port.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh run

cmake -S . -B build/run -DCMAKE_BUILD_TYPE=Release -DKOVA_BUILD_TESTS=OFF \
    -DKOVA_BUILD_BENCH=OFF -DKOVA_BUILD_FUZZ=OFF > /dev/null
cmake --build build/run -j"$(nproc)" --target kova-test-tool

if [ $# -eq 0 ]; then
    set -- --simulate
fi
exec build/run/app/kova-test-tool "$@"
