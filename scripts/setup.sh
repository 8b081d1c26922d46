#!/usr/bin/env bash
# Installs what building and testing need on Debian 12: the 32-bit mingw-w64
# cross compiler, Wine (32-bit) with fonts for every language of the dialog,
# a virtual X display, CMake and GoogleTest's sources. Idempotent: when
# everything is present it only checks and returns.
set -euo pipefail

# locales: the locale sources from which scripts/wine-session.sh makes the
# locale of a language to see the dialog in; fonts-wqy-microhei: Japanese
# and Chinese letters.
packages=(g++-mingw-w64-i686-posix mingw-w64-tools wine wine32:i386 wine64 fonts-wine
          fonts-wqy-microhei locales xvfb xauth x11-apps imagemagick cmake googletest python3)

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ $status == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=""
[[ $(id -u) -eq 0 ]] || sudo="sudo"
echo "setup: installing ${missing[*]}" >&2
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}"
