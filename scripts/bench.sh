#!/usr/bin/env bash
# Builds in Release and runs every benchmark program under Wine in a fresh
# private prefix on a private virtual display. Each figure is printed beside
# its baseline, measured in the same run, with their ratio. Figures and their
# meaning: docs/PERFORMANCE.md.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/build-common.sh"
build_project --target benchmarks

source "$root/scripts/wine-session.sh"
WINE_SESSION_OWN_DISPLAY=1 wine_session_start
# A figure that could not be measured is printed as FAILED, and its program
# ends with a non-zero code; either makes this command end with 1.
failed=()
output=$(mktemp /tmp/tempova-bench.XXXXXX)
for program in "$build"/bin/*_bench.exe; do
    echo "== $(basename "$program")"
    # The programs find their helpers beside themselves and their server on
    # loopback; nothing else is started.
    if ! wine "$program" | tee "$output" || grep -q FAILED "$output"; then
        failed+=("$(basename "$program")")
    fi
done
rm -f "$output"
if ((${#failed[@]})); then
    echo "bench: figures failed in ${failed[*]}" >&2
    exit 1
fi
