#!/usr/bin/env bash
# Checks the release zip: it holds exactly the shipped executable, byte for
# byte, and the readme with Windows line ends.
#   check_package.sh <zip> <executable> <cmake>
set -euo pipefail
zip=$(realpath -m "$1") exe=$(realpath -m "$2") cmake=$3
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

[[ -f $zip ]] || { echo "FAIL: no package at $zip"; exit 1; }
listing=$("$cmake" -E tar tf "$zip" | sort)
expected=$(printf '%s\n' README.txt TempovaForLutegate.exe)
[[ $listing == "$expected" ]] || fail "the package holds: $(tr '\n' ' ' <<<"$listing")"

unpacked=$(mktemp -d /tmp/tempova-package.XXXXXX)
trap 'rm -rf "$unpacked"' EXIT
(cd "$unpacked" && "$cmake" -E tar xf "$zip")
cmp -s "$exe" "$unpacked/TempovaForLutegate.exe" || fail "the packaged executable differs from $exe"
readme=$unpacked/README.txt
if [[ -s $readme ]]; then
    # Every line ends in CR LF: as many CRs as LFs, and no LF without its CR.
    lines=$(tr -cd '\n' <"$readme" | wc -c)
    crlf=$(grep -c $'\r$' "$readme" || true)
    [[ $lines -gt 0 && $crlf -eq $lines ]] || fail "README.txt: $crlf of $lines lines end in CR LF"
    [[ $(tail -c 2 "$readme" | od -An -c | tr -d ' ') == '\r\n' ]] || fail "README.txt: last line not ended"
    grep -q 'TempovaForLutegate.exe' "$readme" || fail "README.txt does not name the executable"
else
    fail "README.txt missing or empty"
fi

((failures == 0)) || exit 1
echo "package_contents: $(basename "$zip") holds TempovaForLutegate.exe and README.txt"
