# Sourced by the run, test, bench and screenshot commands: installs what is
# missing, configures the Release build in $build and builds what is asked.
#   build_project [--target name ...]     (everything when no target is given)
# BUILD_DIR names the build folder ($root/build when unset); WINDOWS_ROAD=ON
# builds the platform check to give Windows' answer (CMakeLists.txt), as the
# test command's second run does.

build_project() {
    "$root/scripts/setup.sh"
    build=${BUILD_DIR:-$root/build}
    cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
          -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON -DWINDOWS_ROAD="${WINDOWS_ROAD:-OFF}" \
          >/dev/null
    cmake --build "$build" -j"$(nproc)" "$@"
}
