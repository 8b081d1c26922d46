#!/usr/bin/env bash
# Takes a screenshot of the main dialog with a loaded list on a private
# virtual display: docs/screenshot.png (or the path given). With --dpi N the
# screen has N dots per inch (Wine's LogPixels; 96 unless given); with
# --lang xx_YY the dialog is in that language; with --change-dpi N the dialog
# is told, once shown, that its monitor now has N, e.g.
#   scripts/screenshot.sh --dpi 144 docs/screenshot-144dpi.png
#   scripts/screenshot.sh --change-dpi 144 docs/screenshot-96to144dpi.png
#   scripts/screenshot.sh --lang de_DE --dpi 144 /tmp/de-144dpi.png
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dpi=""
language=""
about=""
change=()
while [[ ${1:-} == --dpi || ${1:-} == --lang || ${1:-} == --about || ${1:-} == --change-dpi ]]; do
    if [[ $1 == --about ]]; then
        about=--about
        shift
        continue
    fi
    [[ $1 == --dpi ]] && dpi=${2:?--dpi takes a number}
    [[ $1 == --change-dpi ]] && change=(--change-dpi "${2:?--change-dpi takes a number}")
    [[ $1 == --lang ]] && language=${2:?--lang takes a locale such as de_DE}
    shift 2
done
out=${1:-$root/docs/screenshot.png}
source "$root/scripts/build-common.sh"
build_project --target dialog_preview

source "$root/scripts/wine-session.sh"
[[ -n $language ]] && wine_session_language "$language"
WINE_SESSION_OWN_DISPLAY=1 wine_session_start
if [[ -n $dpi ]]; then
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
fi

fifo_dir=$(mktemp -d /tmp/tempova-shot.XXXXXX)
mkfifo "$fifo_dir/rect"
wine "$build/bin/dialog_preview.exe" $about "${change[@]}" >"$fifo_dir/rect" &
geometry=""
read -r -t 60 x y w h <"$fifo_dir/rect" && geometry="${w}x${h%$'\r'}+${x}+${y}"
rm -rf "$fifo_dir"
if [[ -z $geometry ]]; then
    echo "screenshot: the dialog did not come up" >&2
    exit 1
fi
sleep 1 # let the dialog finish painting
mkdir -p "$(dirname "$out")"
xwd -root -silent | convert xwd:- -crop "$geometry" +repage "$out"
echo "screenshot: $out ($geometry${dpi:+, $dpi dpi}${language:+, $language})"
