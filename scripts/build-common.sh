# Sourced by the run, test, bench and screenshot commands: installs what is
# missing, configures the Release build in $build and builds what is asked.
#   build_project [--target name ...]     (everything when no target is given)

build_project() {
    "$root/scripts/setup.sh"
    build=${BUILD_DIR:-$root/build}
    cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
          -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON >/dev/null
    cmake --build "$build" -j"$(nproc)" "$@"
}
