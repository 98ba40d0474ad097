#!/usr/bin/env bash
# Renders every tab page, menu and dialog of the forms to PNG files offscreen, for review.
# Usage: scripts/render-forms.sh [output folder, default build/forms-review]
# KOVA_BUILD_DIR names a build folder to use as it is configured (default build/review).
set -euo pipefail
cd "$(dirname "$0")/.."

out="${1:-build/forms-review}"
build="${KOVA_BUILD_DIR:-build/review}"
export QT_QPA_PLATFORM=offscreen
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    XDG_RUNTIME_DIR=$(mktemp -d)
    trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
fi
export XDG_RUNTIME_DIR
chmod 700 "$XDG_RUNTIME_DIR"

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -DKOVA_BUILD_TESTS=OFF -DKOVA_BUILD_FUZZ=OFF -DKOVA_BUILD_BENCH=OFF >/dev/null
fi
cmake --build "$build" --target kova_render_forms -j2
# The offscreen platform warns about window features it lacks; the pictures are unaffected.
"$build/forms/kova_render_forms" "$out" 2> >(grep -v 'This plugin does not support' >&2)
