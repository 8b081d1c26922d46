#!/usr/bin/env bash
# First starts with a local copy in place: N runs (20 when not given), each a
# fresh Wine prefix whose user folder holds the demo server's sample course
# list, where TempovaForLutegate.exe is the first program of the Wine session.
# A run fails when the dialog does not list every entry of the copy.
# --no-wineboot leaves the making of the prefix to the tool's own start.
#   scripts/first-starts.sh [N] [--no-wineboot]
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/build-common.sh"
build_project --target TempovaForLutegate --target enabler_rows >/dev/null

runs=${1:-20}
# Without wineboot the tool's start makes the prefix: no Mono or Gecko downloads.
[[ ${2:-} == --no-wineboot ]] && export WINE_SESSION_NO_BOOT=1 WINEDLLOVERRIDES="mscoree=;mshtml="
sample=$root/tools/demo_server/lutegate.xml
entries=$(grep -c '<app ' "$sample")
failed=0
for run in $(seq 1 "$runs"); do
    rows=$(bash -c "source '$root/scripts/wine-session.sh'
        WINE_SESSION_OWN_DISPLAY=1 wine_session_start
        folder=\$WINEPREFIX/drive_c/users/\$(id -un)/AppData/Local/Kelvora
        mkdir -p \"\$folder\" && cp '$sample' \"\$folder/lutegate.xml\"
        (cd '$build/bin' && exec wine TempovaForLutegate.exe) &
        sleep 0.5 # the tool first: it makes the prefix with --no-wineboot
        wine '$build/bin/enabler_rows.exe'" 2>/dev/null | tr -d '\r' | tail -n 1)
    if [[ $rows != "$entries" ]]; then
        failed=$((failed + 1))
        echo "first start $run: ${rows:-no answer} instead of $entries rows" >&2
    fi
done
echo "first starts: $runs, lists not complete: $failed"
[[ $failed == 0 ]]
