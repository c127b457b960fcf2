#!/usr/bin/env bash
# Set-up, build and the everyday jobs, for a fresh Debian 12 machine (as root,
# or with sudo) as much as for a developer's checkout.
#
#   bash dev.sh demo    install what is missing, build, drive the simulated card
#   bash dev.sh test    install what is missing, build plain, sanitized, the fuzz targets
#                       and both Windows builds, run all their tests (in stages, see below)
#   bash dev.sh bench   install what is missing, build optimised, run the benchmarks
#   bash dev.sh perf    install what is missing, build optimised, print the table of limits,
#                       then the Windows figures (perf-windows)
#   bash dev.sh perf-windows
#                       the Windows figures alone: the 64-bit and 32-bit builds' control
#                       through IDispatch under Wine against raw Winsock and Win32 serial
#   bash dev.sh build   install what is missing and build
#   bash dev.sh windows install the cross compilers and Wine, build Palvex.ocx and the
#                       tests for 32- and 64-bit Windows, run the tests under Wine
#   bash dev.sh package build the Linux and both Windows programs, then the downloads
#                       into release/: the Windows installer, the portable zips, the
#                       Debian package and SHA256SUMS (the test job tests them)
#
# PALVEX_WERROR=ON makes every compiler warning an error (CI sets it).
# PALVEX_LOG_LINES: how much of a failed stage's log is shown (80 lines).
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(build-essential cmake ninja-build pkg-config libgtest-dev libgmock-dev libbenchmark-dev qt6-base-dev libpng-dev unifont
    fonts-arphic-uming qt6-translations-l10n python3 python3-pytest python3-pip python3-setuptools python3-wheel python3-venv
    python3-numpy python3-pil python3-mypy
    clang-14 libclang-rt-14-dev llvm-14)
JOBS=${JOBS:-2}
# New build folders use Ninja: it compiles a program's files while the
# libraries the program links are still being built, where make finishes
# each target before the next starts and leaves a core idle at every step.
# A folder configured before keeps the generator it was made with.
export CMAKE_GENERATOR=${CMAKE_GENERATOR:-Ninja}

# The Windows job's own: the posix thread-model compilers (the win32 ones lack
# std::thread and std::mutex), widl and windres, and Wine for both
# architectures (wine32 is an i386 package).
WINDOWS_PACKAGES=(cmake ninja-build g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools
    googletest wine wine64 wine32:i386)

# The downloads' own: NSIS (makensis) for the Windows installer (the zips
# are written with Python's zipfile), dpkg-dev for the Debian package's
# dependencies (dpkg-shlibdeps), lintian to check it, and man, which the
# package's test formats the manual pages with.
PACKAGE_PACKAGES=(nsis dpkg-dev lintian man-db)

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
    # The prefix is the Debian package's (/usr): where the programs look for
    # the module and the Python package's folder follow from it, and the
    # package is made from build/.
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
        -DPALVEX_BUILD_TESTS=ON -DPALVEX_BUILD_BENCH=ON -DPALVEX_SANITIZE=OFF -DPALVEX_WERROR="${PALVEX_WERROR:-OFF}" "$@" >/dev/null
    cmake --build "$dir" -j"$JOBS"
}

# Records the built control module for this user, so that hosts find it by
# class identifier (palvex and dravel fall back to it otherwise as well).
register_module() { # register_module DIR
    "$1/cli/palvex" --verbose register
}

build_and_register() { # build_and_register DIR
    build "$1"
    register_module "$1"
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

# Configures the Windows build folder DIR with the toolchain file for ARCH
# (i686, x86_64).
# The Windows test builds are optimised as the Linux one is, with line tables
# only (-g1) for their debug information: backtraces under Wine still name
# files and lines, and the build takes a fifth less compiler time.
configure_windows() { # configure_windows DIR ARCH [cmake options...]
    cmake -S . -B "$1" -DCMAKE_TOOLCHAIN_FILE="cmake/toolchains/mingw-w64-$2.cmake" \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPALVEX_BUILD_TESTS=ON -DPALVEX_BUILD_BENCH=ON \
        -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" \
        -DPALVEX_WERROR="${PALVEX_WERROR:-OFF}" -DPALVEX_LINUX_CARDSIM="$PWD/build/sim/cardsim" \
        -DPALVEX_LINUX_PALVEX="$PWD/build/cli/palvex" \
        -DPALVEX_LINUX_DRAVEL="$PWD/build/tool/dravel" "${@:3}" >/dev/null
}

build_windows() { # build_windows DIR ARCH [cmake options...]
    configure_windows "$@"
    cmake --build "$1" -j"$JOBS"
}

# The version of project(), as the build folder build/ has it.
project_version() {
    local version
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/CMakeCache.txt)
    [ -n "$version" ] || { echo "dev.sh: no version in build/CMakeCache.txt" >&2; return 1; }
    echo "$version"
}

# The downloads, into release/, from the programs already built in build/,
# build-win32/ and build-win64/ (the scripts install, strip and pack; they
# build nothing).
make_packages() {
    local version
    version=$(project_version)
    rm -rf release
    mkdir -p release
    bash packaging/debian/make_deb.sh release "$version" build
    bash packaging/windows/make_windows_packages.sh release "$version" build-win32 build-win64
    (cd release && sha256sum -- * >SHA256SUMS)
    echo "dev.sh: release/ for version $version:"
    ls -l release
}

# The tests of the downloads themselves: the installer, the zips and the
# Debian package installed, used and removed again.
package_tests() {
    local version
    version=$(project_version)
    (cd release && sha256sum --check --quiet SHA256SUMS)
    bash tests/packaging/deb_test.sh release "$version"
    bash tests/packaging/windows_packages_test.sh release "$version" build/sim/cardsim
}

# The Windows figures of DIR (bench/perf_table_win32.cpp) under Wine, in the
# folder's own prefix, with the Linux cardsim on its COM3 at 57600 bit/s.
perf_windows() { # perf_windows DIR ARCH
    local dir=$1 wine=wine64
    [ "$2" = i686 ] && wine=wine
    configure_windows "$dir" "$2"
    cmake --build "$dir" -j"$JOBS" --target perf_table
    ctest --test-dir "$dir" -R '^wine_prefix_ready$' >/dev/null
    # Wine's own messages go to a log, shown when the figures cannot be made.
    local log=$dir/perf-windows.log
    WINEPREFIX=$PWD/$dir/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
        PALVEX_TEST_CARD_BAUD=57600 bash tests/link/wine_links_test.sh \
        "$(command -v /usr/lib/wine/$wine || command -v $wine)" build/sim/cardsim \
        "$dir/bin/perf_table.exe" 2>"$log" | grep -v '^hiding ' || {
        tail -n 20 "$log" >&2
        return 1
    }
}

perf_windows_job() {
    windows_packages
    install_packages
    linux_tools
    perf_windows build-win64 x86_64
    if runs_32bit_programs; then
        perf_windows build-win32 i686
    else
        echo "dev.sh: NOT RUN: the 32-bit Windows figures; this kernel starts no 32-bit programs" >&2
    fi
}

# Wine runs 32-bit programs through its 32-bit loader, an i386 program: a
# kernel without 32-bit support (ia32_emulation off) cannot start it.
runs_32bit_programs() {
    /usr/lib/wine/wine --version >/dev/null 2>&1
}

run_tests() { # run_tests DIR [CTEST-ARG...]
    ctest --test-dir "$1" --output-on-failure -j"$JOBS" --timeout 300 "${@:2}"
}

sanitized_tests() { # sanitized_tests DIR
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 run_tests "$1"
}

# A job of several stages (test, windows) runs them through start_stage,
# wait_stage and run_stage: a test stage mostly waits (serial time-outs, Wine
# starting up), so it runs in the background while the next build keeps the
# cores busy. Each stage writes its output to build-logs/STAGE.log. At the
# end finish_job prints each stage's wall time and the CPU time (user+sys)
# of the programs it waited for (Wine's server is a daemon: its time is not
# counted), and a failed stage is named: "dev.sh: FAILED in stage NAME". No
# stage starts after a failure, and the job's status is 1.
LOGS=build-logs
declare -A stage_pid=() stage_result=()
stage_names=()
failed_stage=
job_began=${EPOCHREALTIME/./}

micros_as_time() { # micros_as_time MICROSECONDS: 1m05
    local s=$((($1 + 500000) / 1000000))
    printf '%dm%02d' $((s / 60)) $((s % 60))
}
elapsed() { micros_as_time $((${EPOCHREALTIME/./} - job_began)); }

# times_as_micros "XmY.ZZZs": bash's times format in microseconds.
times_as_micros() {
    local v=$1 minutes seconds
    minutes=${v%%m*}
    seconds=${v#*m}
    seconds=${seconds%s}
    echo $(((10#$minutes * 60 + 10#${seconds%.*}) * 1000000 + 10#${seconds#*.} * 1000))
}

# start_stage [--first] NAME COMMAND [ARG...]: with --first the stage runs at
# nice -5 where that is allowed (as root), ahead of the builds beside it: a
# test that bounds a wait in wall time must not starve behind a compiler,
# and a test stage mostly sleeps, so the builds lose little.
start_stage() {
    local niceness=0
    [ "$1" = --first ] && niceness=-5 && shift
    local name=$1
    shift
    reap_stages
    stage_names+=("$name")
    if [ -n "$failed_stage" ]; then
        stage_result[$name]="skipped"
        return 0
    fi
    mkdir -p "$LOGS"
    rm -f "$LOGS/$name.wall" "$LOGS/$name.times"
    echo "dev.sh: [$(elapsed)] $name started ($LOGS/$name.log)"
    (
        set +e
        [ "$niceness" -eq 0 ] || renice -n "$niceness" -p "$BASHPID" >/dev/null 2>&1
        began=${EPOCHREALTIME/./}
        (
            set -e
            "$@"
        ) >"$LOGS/$name.log" 2>&1 </dev/null
        status=$?
        ended=${EPOCHREALTIME/./}
        # The stage's own CPU time and that of every program it waited for.
        times >"$LOGS/$name.times"
        echo "$status $began $ended" >"$LOGS/$name.wall"
        exit "$status"
    ) &
    stage_pid[$name]=$!
}

wait_stage() { # wait_stage NAME
    local name=$1
    local pid=${stage_pid[$name]:-} status=0
    [ -n "$pid" ] || return 0
    wait "$pid" || status=$?
    unset "stage_pid[$name]"
    local began ended
    read -r _ began ended <"$LOGS/$name.wall"
    local t cpu=0
    for t in $(cat "$LOGS/$name.times"); do cpu=$((cpu + $(times_as_micros "$t"))); done
    stage_result[$name]="$(micros_as_time $((ended - began))) $(micros_as_time "$cpu")"
    if [ "$status" -eq 0 ]; then
        stage_result[$name]+=" ok"
        echo "dev.sh: [$(elapsed)] $name done: $(micros_as_time $((ended - began))) wall," \
            "$(micros_as_time "$cpu") CPU"
    else
        stage_result[$name]+=" FAILED"
        [ -n "$failed_stage" ] || failed_stage=$name
        echo "dev.sh: [$(elapsed)] FAILED in stage $name (status $status); the end of $LOGS/$name.log:" >&2
        tail -n "${PALVEX_LOG_LINES:-80}" "$LOGS/$name.log" >&2
    fi
}

# reap_stages: the stages in the background that have ended are waited
# for, so that a failure stops the job at the next stage, not at the end.
reap_stages() {
    local name
    for name in "${!stage_pid[@]}"; do
        [ -f "$LOGS/$name.wall" ] && wait_stage "$name"
    done
    return 0
}

run_stage() { # run_stage [--first] NAME COMMAND [ARG...]
    start_stage "$@"
    [ "$1" = --first ] && shift
    wait_stage "$1"
}

# not_run_stage NAME WHY: a stage this machine cannot run, said on a line
# that begins "NOT RUN".
not_run_stage() {
    stage_names+=("$1")
    stage_result[$1]="not-run"
    echo "dev.sh: NOT RUN: $2" >&2
}

finish_job() {
    local name
    for name in "${stage_names[@]}"; do wait_stage "$name"; done
    echo
    echo "dev.sh: the stages (wall time; CPU time, user+sys, of what each ran)"
    printf '  %-13s %7s %7s  %s\n' stage wall CPU result
    for name in "${stage_names[@]}"; do
        read -r wall cpu result <<<"${stage_result[$name]}"
        [ -n "${result:-}" ] || { result=$wall wall=- cpu=-; }
        printf '  %-13s %7s %7s  %s\n' "$name" "$wall" "$cpu" "$result"
    done
    echo "  whole job     $(elapsed)"
    if [ -n "$failed_stage" ]; then
        echo "dev.sh: FAILED in stage $failed_stage" >&2
        exit 1
    fi
}

windows_packages() {
    add_i386_architecture
    install_packages "${WINDOWS_PACKAGES[@]}"
}

# The Windows link tests talk to the simulated card of the Linux build, and
# palvex.exe and dravel.exe must print what the Linux palvex and dravel
# print: the Windows builds need those three of build/.
linux_tools() {
    [ -f build/CMakeCache.txt ] || cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DPALVEX_BUILD_BENCH=OFF -DPALVEX_WERROR="${PALVEX_WERROR:-OFF}" >/dev/null
    cmake --build build --target cardsim palvex dravel -j"$JOBS"
}

# windows_stages: both Windows builds one after the other, each one's tests
# under Wine in the background while the next builds. Each build folder has
# a Wine prefix of its own (its COM3, its registered control, its settings),
# so the two test runs do not meet. The test of both bitnesses (label
# "bitness") registers the 32-bit module of build-win32 in the 64-bit prefix:
# it runs once that module is built and the other 64-bit tests have ended.
windows_stages() {
    run_stage win64-build build_windows build-win64 x86_64
    start_stage --first win64-tests run_tests build-win64 -LE bitness
    run_stage win32-build build_windows build-win32 i686
    if runs_32bit_programs; then
        start_stage --first win32-tests run_tests build-win32
        wait_stage win64-tests
        start_stage --first bitness-tests run_tests build-win64 -L bitness
    else
        not_run_stage win32-tests "the 32-bit tests in build-win32; this kernel starts no 32-bit" \
            "programs (ia32 emulation is off), so Wine's 32-bit loader cannot run"
        not_run_stage bitness-tests "the test of both bitnesses side by side, for the same reason"
    fi
}

job=${1:-}
case "$job" in
build)
    install_packages
    build_and_register build
    ;;
demo)
    install_packages
    build build -DPALVEX_BUILD_TESTS=OFF -DPALVEX_BUILD_BENCH=OFF
    register_module build
    exec bash scripts/demo.sh build
    ;;
test)
    install_packages
    windows_packages
    install_packages "${PACKAGE_PACKAGES[@]}"
    # The builds run one after the other on all the cores; each test stage
    # runs beside the builds after its own (the packages' tests beside the
    # fuzz build), and the fuzz targets run two at a time at the end. The
    # test stages run ahead of what runs beside them (--first). The plain
    # and the sanitized tests never run at once (some tests bind the same
    # local port); the Wine tests of either build run beside any Linux tests.
    run_stage plain-build build_and_register build
    start_stage --first plain-tests run_tests build
    windows_stages
    run_stage asan-build build build-asan -DPALVEX_SANITIZE=ON -DPALVEX_BUILD_BENCH=OFF \
        -DCMAKE_BUILD_TYPE=Debug
    wait_stage plain-tests
    start_stage --first asan-tests sanitized_tests build-asan
    # The downloads, made from build/ and both Windows builds, are installed,
    # used and removed again beside the fuzz build.
    run_stage packages make_packages
    start_stage --first package-tests package_tests
    run_stage fuzz-build bash scripts/fuzz.sh --build-only
    run_stage fuzz-runs bash scripts/fuzz.sh --run-only 20
    finish_job
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
    echo
    perf_windows_job
    ;;
perf-windows)
    perf_windows_job
    ;;
windows)
    windows_packages
    install_packages
    run_stage linux-tools linux_tools
    windows_stages
    finish_job
    ;;
package)
    install_packages
    windows_packages
    install_packages "${PACKAGE_PACKAGES[@]}"
    # The programs alone, without their tests (the test job, which gives
    # every option again, turns them back on).
    run_stage linux-build build build -DPALVEX_BUILD_TESTS=OFF -DPALVEX_BUILD_BENCH=OFF
    run_stage win64-build build_windows build-win64 x86_64 -DPALVEX_BUILD_TESTS=OFF -DPALVEX_BUILD_BENCH=OFF
    run_stage win32-build build_windows build-win32 i686 -DPALVEX_BUILD_TESTS=OFF -DPALVEX_BUILD_BENCH=OFF
    run_stage packages make_packages
    finish_job
    ;;
*)
    echo "usage: bash dev.sh demo|test|bench|perf|perf-windows|build|windows|package" >&2
    exit 2
    ;;
esac
