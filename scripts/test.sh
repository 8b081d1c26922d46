#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test under Wine
# in a fresh private prefix on a private virtual display. Then the same on
# Windows' road: a second build (build/windows-road) whose platform check
# gives Windows' answer, so that every place where the tool treats the
# platforms apart is walked on Windows' side too, in a fresh prefix again.
# The arguments go to ctest in both runs (-R core_tests runs core_tests on
# both roads); GTEST_FILTER applies to both, and on Windows' road the cases
# below are left out as well. Ends with 1 when either run failed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/build-common.sh"
build_project
shipped=$build
BUILD_DIR=$shipped/windows-road WINDOWS_ROAD=ON build_project
windows_road=$build

# Cases that need what Wine cannot do on Windows' road. Each lets go of a
# request before its answer has arrived, which that road aborts and
# releases, as Windows' object allows; Wine's transfer then calls into the
# released request when the answer arrives, and the process crashes
# (docs/RELIABILITY.md, limits that remain, 3).
windows_road_skips=(
    # let go at the 30 s limit, then the server closes
    HTTPXMLReqHelperTest.ServerThatNeverAnswersTimesOutAfterThirtySeconds
    # cancelled while the server is silent
    HTTPXMLReqHelperTest.CancelWhileWaitingThenNewRequestRunsNormally
    HTTPXMLReqHelperTest.CancelRightAfterStartEndsTheRequest
    HTTPXMLReqHelperTest.DestroyingAWorkerWaitingForTheServerEndsItThroughCancel
    CourseListTest.SilentServerCancelEmptiesTheLineKeepsRowsAndTheLimitEndsTheUpdate
    CourseListTest.CloseDuringAnUpdateEndsPromptlyAndLeavesNothingBehind
    Cycles.UpdateAndCancelLeaveNothingBehind
    # cancelled while the answer arrives
    Cycles.CancelWhileTheAnswerArrives
    # refused as its headers arrive, the rest of the answer still coming
    AppNamesHelperServerTest.AnswerThatAnnouncesMoreThanTheBoundIsCorrupt
)

# A skip that names no case any more (renamed, say) would let that case
# crash Windows' road: each must name a case of the tests' sources.
for case in "${windows_road_skips[@]}"; do
    grep -rqF "${case%%.*}, ${case#*.})" "$root/tests" ||
        { echo "test.sh: no case $case to leave out on Windows' road" >&2; exit 1; }
done

source "$root/scripts/wine-session.sh"
# Wine names the fresh prefix's profile folder after the user: a name outside
# the ANSI code page (1252), as many users' names are, so that every test
# runs in such a folder (the end-to-end case checks that it does).
export USER=Łukasz LOGNAME=Łukasz

# run_tests <build folder> <ctest arguments...>: in a fresh prefix.
run_tests() {
    local status=0
    WINE_SESSION_OWN_DISPLAY=1 wine_session_start
    ctest --test-dir "$1" --output-on-failure --timeout 600 "${@:2}" || status=$?
    wine_session_stop
    return "$status"
}

status=0
run_tests "$shipped" "$@" || status=1
skips=$(IFS=:; echo "${windows_road_skips[*]}")
filter=${GTEST_FILTER:-*}
[[ $filter == *-* ]] && filter+=":$skips" || filter+="-$skips"
echo "Windows' road ($windows_road), without the cases that let a request" \
     "go unfinished, which crash Wine on that road: ${windows_road_skips[*]}"
GTEST_FILTER=$filter run_tests "$windows_road" "$@" || status=1
exit "$status"
