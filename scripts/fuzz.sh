#!/usr/bin/env bash
# Builds the fuzz targets with clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer into build-fuzz/ and runs every target for
# SECONDS seconds (default 20), starting from its seed corpus in
# fuzz/corpus/<target>/. Exits non-zero when a target finds a crash, a leak,
# undefined behaviour, a failed check or a time-out; the input that did it is
# left in build-fuzz/artifacts/<target>/.
#
#   bash scripts/fuzz.sh            20 s per target (CI)
#   bash scripts/fuzz.sh 1800       half an hour per target (the long run)
#   bash scripts/fuzz.sh 60 dispatch_fuzzer picture_fuzzer    only these
#   bash scripts/fuzz.sh --build-only        build the targets, run none
#   bash scripts/fuzz.sh --run-only 20       run the targets built before
#
# FUZZ_JOBS targets run at once (default JOBS, 2): libFuzzer keeps one core
# busy, so each still has its SECONDS of a core to itself on a machine of
# FUZZ_JOBS cores.
#
# New inputs found are kept in build-fuzz/corpus/<target>/ (not in the
# repository); a later run goes on from them. Needs clang-14 and
# libclang-rt-14-dev (and llvm-14 for symbolised stack traces).
set -euo pipefail
cd "$(dirname "$0")/.."

steps=all
case ${1:-} in
--build-only) steps=build && shift ;;
--run-only) steps=run && shift ;;
esac
SECONDS_PER_TARGET=${1:-20}
shift || true
JOBS=${JOBS:-2}
FUZZ_JOBS=${FUZZ_JOBS:-$JOBS}
BUILD=${FUZZ_BUILD_DIR:-build-fuzz}
case $BUILD in /*) ;; *) BUILD=$PWD/$BUILD ;; esac
CC=${FUZZ_CC:-clang-14}
CXX=${FUZZ_CXX:-clang++-14}

if [ "$steps" != run ]; then
    cmake -S fuzz -B "$BUILD" -DCMAKE_C_COMPILER="$CC" -DCMAKE_CXX_COMPILER="$CXX" >/dev/null
    cmake --build "$BUILD" --target palvex_fuzzers -j"$JOBS"
    [ "$steps" = build ] && exit 0
fi

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for dir in fuzz/corpus/*/; do targets+=("$(basename "$dir")_fuzzer"); done
fi

if command -v llvm-symbolizer-14 >/dev/null; then
    export ASAN_SYMBOLIZER_PATH=${ASAN_SYMBOLIZER_PATH:-$(command -v llvm-symbolizer-14)}
fi
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

# run_target TARGET: one run, its output in $BUILD/TARGET.log.
run_target() {
    local target=$1 name=${1%_fuzzer}
    local corpus="$BUILD/corpus/$name" artifacts="$BUILD/artifacts/$name/"
    mkdir -p "$corpus" "$artifacts"
    local options=(-max_total_time="$SECONDS_PER_TARGET" -timeout=10 -rss_limit_mb=2048
                   -print_final_stats=1 -artifact_prefix="$artifacts")
    [ -f "fuzz/$name.dict" ] && options+=(-dict="$PWD/fuzz/$name.dict")
    # The first corpus folder receives what the run finds; the seeds are read.
    # Paths are absolute: some targets work in a directory of their own.
    "$BUILD/$target" "${options[@]}" "$corpus" "$PWD/fuzz/corpus/$name" >"$BUILD/$target.log" 2>&1
}

failed=()
declare -A running=() # pid -> target
report() {            # report PID STATUS
    local target=${running[$1]}
    unset 'running[$1]'
    if [ "$2" -ne 0 ]; then
        echo "fuzz.sh: $target FAILED; last lines of $BUILD/$target.log:" >&2
        tail -n 40 "$BUILD/$target.log" >&2
        failed+=("$target")
    else
        echo "fuzz.sh: $target: $(grep -E '^stat::number_of_executed_units|^Done' \
            "$BUILD/$target.log" | tr '\n' ' ')"
    fi
}
wait_one() {
    local pid status=0
    wait -n -p pid "${!running[@]}" || status=$?
    report "$pid" "$status"
}
for target in "${targets[@]}"; do
    [ ! -x "$BUILD/$target" ] && echo "fuzz.sh: $BUILD/$target is not built" >&2 && exit 1
    while [ ${#running[@]} -ge "$FUZZ_JOBS" ]; do wait_one; done
    echo "fuzz.sh: $target for ${SECONDS_PER_TARGET} s"
    run_target "$target" &
    running[$!]=$target
done
while [ ${#running[@]} -gt 0 ]; do wait_one; done

if [ ${#failed[@]} -ne 0 ]; then
    echo "fuzz.sh: failed: ${failed[*]}" >&2
    exit 1
fi
echo "fuzz.sh: all ${#targets[@]} targets ran ${SECONDS_PER_TARGET} s without a finding"
