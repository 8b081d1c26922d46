#!/usr/bin/env bash
# Installs what is missing, builds the tool and starts it under Wine, with
# everything it talks to on this machine: a course-list server on loopback
# (reached through Wine's http_proxy, so the tool's own server address stays
# as shipped) and the stand-in speed product, which records diagnostics.
# With a display the dialog opens there; without one it runs on a private
# virtual display and a screenshot is taken after start. Closing the dialog
# or Ctrl+C ends everything this command started.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/build-common.sh"
build_project --target TempovaForLutegate tempova_standin

run_dir=$(mktemp -d /tmp/tempova-run.XXXXXX)
server_pid=""
standin_pid=""
stop_all() {
    [[ -n $standin_pid ]] && kill "$standin_pid" 2>/dev/null || true
    [[ -n $server_pid ]] && kill "$server_pid" 2>/dev/null || true
    wine_session_stop
    rm -rf "$run_dir"
}

source "$root/scripts/wine-session.sh"
own_display=0
[[ -z ${DISPLAY:-} ]] && own_display=1
wine_session_start "$build/wineprefix"
trap stop_all EXIT

python3 "$root/tools/demo_server/course_list_server.py" --port-file "$run_dir/port" \
    2>"$run_dir/server.log" &
server_pid=$!
for _ in $(seq 1 100); do [[ -s $run_dir/port ]] && break; sleep 0.05; done
export http_proxy="http://127.0.0.1:$(cat "$run_dir/port")"
echo "run: course-list server on $http_proxy (log: $run_dir/server.log)" >&2

(cd "$build/bin" && exec wine tempova.exe) &
standin_pid=$!
echo "run: stand-in speed product tempova.exe started; it records diagnostics to" \
     "$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/Kelvora/TempovaDiagnostics.log" >&2

echo "run: starting TempovaForLutegate.exe on display $DISPLAY (close the dialog or press Ctrl+C to end)" >&2
(cd "$build/bin" && exec wine TempovaForLutegate.exe) &
tool_pid=$!
if [[ $own_display == 1 ]]; then
    shot=$build/screenshot.png
    sleep 4
    if xwd -root -silent | convert xwd:- "$shot" 2>/dev/null; then
        echo "run: no display of your own; screenshot of the virtual display: $shot" >&2
    fi
fi
wait "$tool_pid" || true
