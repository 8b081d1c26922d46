#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test under Wine
# in a fresh private prefix on a private virtual display.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"

build=${BUILD_DIR:-$root/build}
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON >/dev/null
cmake --build "$build" -j"$(nproc)"

source "$root/scripts/wine-session.sh"
WINE_SESSION_OWN_DISPLAY=1 wine_session_start
ctest --test-dir "$build" --output-on-failure --timeout 600 "$@"
