#!/usr/bin/env bash
# Set-up, build and the everyday jobs, for a fresh Debian 12 machine (as root,
# or with sudo) as much as for a developer's checkout.
#
#   bash dev.sh demo    install what is missing, build, drive the simulated card
#   bash dev.sh test    install what is missing, build plain and sanitized, run all tests
#   bash dev.sh bench   install what is missing, build optimised, run the benchmarks
#   bash dev.sh perf    install what is missing, build optimised, print the table of limits
#   bash dev.sh build   install what is missing and build
#
# PALVEX_WERROR=ON makes every compiler warning an error (CI sets it).
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(build-essential cmake pkg-config libgtest-dev libgmock-dev libbenchmark-dev qt6-base-dev libpng-dev unifont
    fonts-arphic-uming python3 clang-14 libclang-rt-14-dev llvm-14)
JOBS=${JOBS:-2}

install_packages() {
    local missing=()
    for p in "${PACKAGES[@]}"; do
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

run_tests() { # run_tests DIR
    ctest --test-dir "$1" --output-on-failure -j"$JOBS" --timeout 300
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
*)
    echo "usage: bash dev.sh demo|test|bench|perf|build" >&2
    exit 2
    ;;
esac
