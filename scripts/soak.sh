#!/usr/bin/env bash
# The long fault-injection soak: the proof tests' soak (tests/proof/soak_test.cpp)
# with SCALE times as many exchanges over a pty and over TCP, against the
# in-process simulated card dropping, corrupting, truncating, delaying and
# splitting its replies. In CI the same test runs at scale 1 (well under a
# minute); this runs it longer.
#
#   bash scripts/soak.sh              scale 20 (about twelve minutes), seed 20261207
#   bash scripts/soak.sh 100 7        scale 100, seed 7
#
# Builds into build-proof/ (gcc) unless PROOF_BUILD_DIR names another folder.
set -euo pipefail
cd "$(dirname "$0")/.."

SCALE=${1:-20}
SEED=${2:-20261207}
JOBS=${JOBS:-2}
BUILD=${PROOF_BUILD_DIR:-build-proof}

cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPALVEX_BUILD_BENCH=OFF >/dev/null
cmake --build "$BUILD" --target proof_tests -j"$JOBS"
PALVEX_SOAK_SCALE=$SCALE PALVEX_SOAK_SEED=$SEED \
    "$BUILD/tests/proof/proof_tests" --gtest_filter='*FaultSoak*'
