#!/usr/bin/env bash
# Screenshots of every page after a read of a simulated device, and of both
# dialogs, under Xvfb, into docs/ (or the folder given). The window is shown
# as on a desktop without an icon theme, with the Fusion style.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs}

scripts/setup.sh
build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZQ_BUILD_TESTS=ON >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target zq_screenshots

export LANG=ru_RU.UTF-8 LC_ALL=
export QT_QPA_PLATFORM=xcb
xvfb-run -a -s "-screen 0 1280x800x24" "$build/tests/app/zq_screenshots" "$out"
