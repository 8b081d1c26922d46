#!/usr/bin/env bash
# Installs what is missing, builds the tool and starts it under Wine. The
# Wine prefix lives in the build folder, so the tool's data survive between
# runs. Without a display the tool runs on a private virtual display.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"

build=${BUILD_DIR:-$root/build}
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target TempovaForLutegate

source "$root/scripts/wine-session.sh"
wine_session_start "$build/wineprefix"
echo "run: starting TempovaForLutegate.exe on display $DISPLAY (Ctrl+C ends it)" >&2
wine "$build/bin/TempovaForLutegate.exe"
