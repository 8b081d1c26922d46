#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test under Wine
# in a fresh private prefix on a private virtual display.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/build-common.sh"
build_project

source "$root/scripts/wine-session.sh"
# Wine names the fresh prefix's profile folder after the user: a name outside
# the ANSI code page (1252), as many users' names are, so that every test
# runs in such a folder (the end-to-end case checks that it does).
export USER=Łukasz LOGNAME=Łukasz
WINE_SESSION_OWN_DISPLAY=1 wine_session_start
ctest --test-dir "$build" --output-on-failure --timeout 600 "$@"
