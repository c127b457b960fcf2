#!/usr/bin/env bash
# Set-up, build and the everyday jobs, for a fresh Debian 12 machine (as root,
# or with sudo) as much as for a developer's checkout.
#
#   bash dev.sh demo    install what is missing, build, drive the simulated card
#   bash dev.sh test    install what is missing, build plain and sanitized, run all tests,
#                       then the Windows job
#   bash dev.sh bench   install what is missing, build optimised, run the benchmarks
#   bash dev.sh perf    install what is missing, build optimised, print the table of limits
#   bash dev.sh build   install what is missing and build
#   bash dev.sh windows install the cross compilers and Wine, build Palvex.ocx and the
#                       tests for 32- and 64-bit Windows, run the tests under Wine
#
# PALVEX_WERROR=ON makes every compiler warning an error (CI sets it).
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(build-essential cmake pkg-config libgtest-dev libgmock-dev libbenchmark-dev qt6-base-dev libpng-dev unifont
    fonts-arphic-uming python3 clang-14 libclang-rt-14-dev llvm-14)
JOBS=${JOBS:-2}

# The Windows job's own: the posix thread-model compilers (the win32 ones lack
# std::thread and std::mutex), widl and windres, and Wine for both
# architectures (wine32 is an i386 package).
WINDOWS_PACKAGES=(cmake g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools
    googletest wine wine64 wine32:i386)

install_packages() { # install_packages [package...]; the Linux set when none are named
    local wanted=("$@")
    [ ${#wanted[@]} -eq 0 ] && wanted=("${PACKAGES[@]}")
    local missing=()
    for p in "${wanted[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "dev.sh: installing ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

build() { # build DIR [cmake options...]
    local dir=$1
    shift
    # Every option is given each time (later ones win), so that a folder
    # configured by one job, say demo without tests, is right for the next.
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPALVEX_BUILD_TESTS=ON \
        -DPALVEX_BUILD_BENCH=ON -DPALVEX_SANITIZE=OFF -DPALVEX_WERROR="${PALVEX_WERROR:-OFF}" "$@" >/dev/null
    cmake --build "$dir" -j"$JOBS"
}

# Records the built control module for this user, so that hosts find it by
# class identifier (palvex and dravel fall back to it otherwise as well).
register_module() { # register_module DIR
    "$1/cli/palvex" --verbose register
}

# Adds the i386 architecture once, so that wine32 can be installed.
add_i386_architecture() {
    dpkg --print-foreign-architectures | grep -qx i386 && return 0
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    echo "dev.sh: adding the i386 architecture for wine32"
    "${sudo[@]}" dpkg --add-architecture i386
    # The lists must know i386 before the install looks for wine32:i386.
    "${sudo[@]}" apt-get update -qq
}

# Builds the Windows build folder DIR with the toolchain file for ARCH
# (i686, x86_64).
build_windows() { # build_windows DIR ARCH
    cmake -S . -B "$1" -DCMAKE_TOOLCHAIN_FILE="cmake/toolchains/mingw-w64-$2.cmake" \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPALVEX_BUILD_TESTS=ON \
        -DPALVEX_WERROR="${PALVEX_WERROR:-OFF}" -DPALVEX_LINUX_CARDSIM="$PWD/build/sim/cardsim" \
        -DPALVEX_LINUX_PALVEX="$PWD/build/cli/palvex" \
        -DPALVEX_LINUX_DRAVEL="$PWD/build/tool/dravel" >/dev/null
    cmake --build "$1" -j"$JOBS"
}

# Wine runs 32-bit programs through its 32-bit loader, an i386 program: a
# kernel without 32-bit support (ia32_emulation off) cannot start it.
runs_32bit_programs() {
    /usr/lib/wine/wine --version >/dev/null 2>&1
}

run_tests() { # run_tests DIR
    ctest --test-dir "$1" --output-on-failure -j"$JOBS" --timeout 300
}

windows_job() {
    started=$SECONDS
    add_i386_architecture
    install_packages "${WINDOWS_PACKAGES[@]}"
    echo "dev.sh: Windows packages ready after $((SECONDS - started)) s"
    # The Windows link tests talk to the simulated card of the Linux build,
    # and palvex.exe and dravel.exe must print what the Linux palvex and
    # dravel print.
    install_packages
    step=$SECONDS
    [ -f build/CMakeCache.txt ] || cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DPALVEX_BUILD_BENCH=OFF -DPALVEX_WERROR="${PALVEX_WERROR:-OFF}" >/dev/null
    cmake --build build --target cardsim palvex dravel -j"$JOBS"
    echo "dev.sh: the Linux cardsim, palvex and dravel built in $((SECONDS - step)) s"
    for arch in x86_64 i686; do
        dir=build-win64
        [ "$arch" = i686 ] && dir=build-win32
        step=$SECONDS
        build_windows "$dir" "$arch"
        echo "dev.sh: $dir built in $((SECONDS - step)) s"
        if [ "$arch" = i686 ] && ! runs_32bit_programs; then
            echo "dev.sh: NOT RUN: the 32-bit tests in $dir; this kernel starts no 32-bit" \
                "programs (ia32 emulation is off), so Wine's 32-bit loader cannot run" >&2
            continue
        fi
        # Each build folder has its own Wine prefix, made by the first test.
        step=$SECONDS
        run_tests "$dir"
        echo "dev.sh: $dir tested under Wine in $((SECONDS - step)) s"
    done
    echo "dev.sh: windows job done in $((SECONDS - started)) s"
}

job=${1:-}
case "$job" in
build)
    install_packages
    build build
    register_module build
    ;;
demo)
    install_packages
    build build -DPALVEX_BUILD_TESTS=OFF -DPALVEX_BUILD_BENCH=OFF
    register_module build
    exec bash scripts/demo.sh build
    ;;
test)
    install_packages
    build build
    register_module build
    run_tests build
    echo "dev.sh: again with AddressSanitizer and UndefinedBehaviorSanitizer"
    build build-asan -DPALVEX_SANITIZE=ON -DPALVEX_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 run_tests build-asan
    echo "dev.sh: a short run of every fuzz target"
    bash scripts/fuzz.sh 20
    echo "dev.sh: the Windows build and its tests under Wine"
    windows_job
    ;;
bench)
    install_packages
    build build-bench -DCMAKE_BUILD_TYPE=Release -DPALVEX_BUILD_TESTS=OFF
    for b in build-bench/bench/bench_*; do "$b" "${@:2}"; done
    ;;
perf)
    install_packages
    build build-bench -DCMAKE_BUILD_TYPE=Release -DPALVEX_BUILD_TESTS=OFF
    build-bench/bench/perf_table
    ;;
windows)
    windows_job
    ;;
*)
    echo "usage: bash dev.sh demo|test|bench|perf|build|windows" >&2
    exit 2
    ;;
esac
