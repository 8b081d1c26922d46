#!/usr/bin/env bash
# Checks the shipped executable from outside: a 32-bit (PE32, i386) GUI
# program for Windows 7 (6.1) and later, aware of terminal sessions, that
# imports only the system's known DLLs and exports the library's functions by
# name, carries its version record and a manifest that names the systems it
# supports, and is shipped stripped: no debug sections, no symbol table, at
# most 400 KB, linked to its debug file.
#   check_executable.sh <executable> <version, e.g. 1.1.0.30>
set -euo pipefail
exe=$1
objdump=i686-w64-mingw32-objdump
filt="i686-w64-mingw32-c++filt --no-strip-underscore"
headers=$($objdump -p "$exe")
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

grep -q 'file format pei-i386' <<<"$headers" || fail "not a pei-i386 image"
grep -qE '^Magic\s+010b\s+\(PE32\)' <<<"$headers" || fail "not PE32"
grep -qE '^Subsystem\s+00000002\s+\(Windows GUI\)' <<<"$headers" || fail "not a GUI program"

# Only the system's known DLLs, which the loader never looks for beside the
# program (Windows 7 to 11 alike), and comctl32, which the manifest binds to
# the system's side-by-side copy: a DLL of any other name lying in the
# download folder would be loaded in the system's place.
known_dlls='^(kernel32|user32|gdi32|advapi32|shell32|shlwapi|ole32|oleaut32|comdlg32|msvcrt|ws2_32|rpcrt4|psapi|imm32|setupapi|imagehlp|comctl32)\.dll$'
while read -r dll; do
    lower=${dll,,}
    [[ $lower =~ $known_dlls ]] || fail "imports a DLL that is not a known system DLL: $dll"
done < <(awk '/DLL Name:/ {print $3}' <<<"$headers")

exports=$(awk '/\[Ordinal\/Name Pointer\] Table/ {on=1; next} on && /^[ \t]*\[/ {print $NF} on && /^$/ {on=0}' \
          <<<"$headers" | $filt)
required=(
    "kelvora_core::Preferences::setCompanyAndApp("
    "kelvora_core::Preferences::getBool("
    "kelvora_core::Preferences::getInt("
    "kelvora_core::Preferences::getString("
    "kelvora_core::Preferences::setBool("
    "kelvora_core::Preferences::setInt("
    "kelvora_core::Preferences::setString("
    "kelvora_core::Preferences::addToStartup()"
    "kelvora_core::Preferences::removeFromStartup()"
    "kelvora_core::Preferences::checkStartup()"
    "kelvora_core::getAppExeName()"
    "kelvora_core::getUserAppPath()"
    "kelvora_core::getWorldAccessSecurityAttributes()"
    "kelvora_core::SetObjectToLowIntegrity("
    "kelvora_core::DiagEventLog::diagEvent(kelvora_core::DiagEventLog::DiagEvent)"
    "kelvora_core::DiagEventLog::diagEvent(kelvora_core::DiagEventLog::DiagEvent, std::"
    "kelvora_core::DiagEventLog::startNewLog()"
    "kelvora_core::DiagEventLog::endLogging()"
    "kelvora_core::DiagEventLog::addDiagEventLogObserver("
    "kelvora_core::DiagEventLog::removeDiagEventLogObserver("
    "kelvora_core::DiagEventLog::getLogFileName()"
)
for name in "${required[@]}"; do
    grep -qF -- "$name" <<<"$exports" || fail "export missing: $name"
done

export_failures=$failures

# Windows 7 (6.1) as the oldest system, and aware of terminal sessions.
for field in MajorOSystemVersion=6 MinorOSystemVersion=1 MajorSubsystemVersion=6 MinorSubsystemVersion=1; do
    grep -qE "^${field%=*}\s+${field#*=}\$" <<<"$headers" || fail "$field not set"
done
grep -qE '^\s+TERMINAL_SERVICE_AWARE$' <<<"$headers" || fail "not aware of terminal sessions"

# The version record and the manifest's supported systems (Windows 7, 8,
# 8.1, and 10 and 11), read from the file's resources.
version=${2:?the expected version}
record=$(python3 "$(dirname "$0")/pe_resources.py" "$exe") || fail "version record unreadable ($record)"
expected_record=(
    "fixed FileVersion $version"
    "fixed ProductVersion $version"
    "string 040904b0 FileVersion $version"
    "string 040904b0 ProductVersion $version"
    "string 040904b0 InternalName TempovaForLutegate.exe"
    "string 040904b0 OriginalFilename TempovaForLutegate.exe"
    "manifest supportedOS {35138b9a-5d96-4fbd-8e2d-a2440225f93a}"
    "manifest supportedOS {4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}"
    "manifest supportedOS {1f676c76-80e1-4239-95bb-83d0f6d0da78}"
    "manifest supportedOS {8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"
)
for entry in "${expected_record[@]}"; do
    grep -qFx -- "$entry" <<<"$record" || fail "resources lack: $entry"
done

# Shipped stripped: the symbols and debug sections live in <exe>.debug.
sections=$($objdump -h "$exe")
debug_sections=$(awk '$2 ~ /^\.debug/ {print $2}' <<<"$sections" | tr '\n' ' ')
[[ -z $debug_sections ]] || fail "carries debug sections: $debug_sections"
grep -q 'symbols stripped' <<<"$headers" || fail "carries a symbol table"
grep -qE '^\s*[0-9]+ \.gnu_debuglink ' <<<"$sections" && [[ -f $exe.debug ]] ||
    fail "not linked to its debug file $exe.debug"
max_bytes=409600 # 400 KB
bytes=$(stat -c %s "$exe")
((bytes <= max_bytes)) || fail "$bytes bytes, more than $max_bytes"

if ((failures > 0)); then
    ((export_failures > 0)) && { echo "exports found:"; echo "$exports"; }
    echo "resources found:"; echo "$record"
    exit 1
fi
echo "executable_format: PE32 i386 GUI, stripped, $bytes bytes, known system DLLs only," \
     "${#required[@]} exports present, version record $version"
