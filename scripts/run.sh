#!/usr/bin/env bash
# Installs what is missing, builds the tool and starts it under Wine, with
# everything it talks to on this machine: a course-list server on loopback
# (reached through Wine's http_proxy, so the tool's own server address stays
# as shipped) and the stand-in speed product, which records diagnostics.
# With a display the dialog opens there and the person drives it; closing the
# dialog or Ctrl+C ends everything this command started. Without one, it runs
# on a private virtual display in a fresh Wine prefix, and run_driver.exe
# takes the steps a person would (Update, two rows ticked, Apply with the
# restart of the stand-in); a screenshot after each step goes into
# build/run-screenshots, and the command ends by itself.
# With --lang xx_YY (de_DE, ja_JP, ...) the tool runs in that language, as
# Windows shows it to a user whose display language it is.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
language=""
if [[ ${1:-} == --lang ]]; then
    language=${2:?--lang takes a locale such as de_DE}
    shift 2
fi
source "$root/scripts/build-common.sh"
own_display=0
[[ -z ${DISPLAY:-} ]] && own_display=1
targets=(TempovaForLutegate tempova_standin)
[[ $own_display == 1 ]] && targets+=(run_driver)
build_project --target "${targets[@]}"

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
[[ -n $language ]] && wine_session_language "$language"
if [[ $own_display == 1 ]]; then
    wine_session_start # a fresh prefix: every run starts from an empty list
else
    wine_session_start "$build/wineprefix"
fi
trap stop_all EXIT

python3 "$root/tools/demo_server/course_list_server.py" --port-file "$run_dir/port" \
    2>"$run_dir/server.log" &
server_pid=$!
for _ in $(seq 1 100); do [[ -s $run_dir/port ]] && break; sleep 0.05; done
export http_proxy="http://127.0.0.1:$(cat "$run_dir/port")"
echo "run: course-list server on $http_proxy (log: $run_dir/server.log)" >&2

local_data="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local"
# An older prefix keeps the folder it already has.
folder=Kelvora
[[ -d $local_data/kelvora ]] && folder=kelvora
log="$local_data/$folder/TempovaDiagnostics.log"
# Installed where a user has it, in the prefix's Program Files, and started
# with an argument from its own folder, the tool from another folder: after
# Apply the stand-in shows how it was started again.
install_dir="$WINEPREFIX/drive_c/Program Files/Tempova"
mkdir -p "$install_dir"
cp "$build/bin/tempova.exe" "$install_dir/"
(cd "$install_dir" && exec wine tempova.exe --close-after 300) &
standin_pid=$!
echo "run: stand-in speed product tempova.exe started; it records diagnostics to $log" >&2

if [[ $own_display == 0 ]]; then
    echo "run: starting TempovaForLutegate.exe on display $DISPLAY (close the dialog or press Ctrl+C to end)" >&2
    (cd "$run_dir" && exec wine "$build/bin/TempovaForLutegate.exe") &
    wait $! || true
    exit 0
fi

echo "run: no display of your own: TempovaForLutegate.exe runs on a virtual display," \
     "driven by run_driver.exe" >&2
(cd "$run_dir" && exec wine "$build/bin/TempovaForLutegate.exe") &
tool_pid=$!
shots=$build/run-screenshots
rm -rf "$shots"
mkdir -p "$shots"
# The driver names each step once it has come about, and goes on when the
# step's picture is there.
if ! (cd "$build/bin" && exec wine run_driver.exe "$(winepath -w "$shots")") |
    while read -r step; do
        step=${step%$'\r'}
        sleep 0.5 # let the windows finish painting
        xwd -root -silent | convert xwd:- -trim +repage "$shots/.$step.png"
        mv "$shots/.$step.png" "$shots/$step.png"
        echo "run: $step: $shots/$step.png" >&2
    done; then
    echo "run: the steps did not all come about; screenshots so far: $shots" >&2
    exit 1
fi
wait "$tool_pid" || true
cp "$log" "$shots/" 2>/dev/null || true
echo "run: screenshots of the steps and the diagnostics log: $shots" >&2
