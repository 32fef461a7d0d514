#!/bin/sh
# Rebuilds the recorded receiver streams and what the tool must make of them, when a change of
# behaviour is intended. Run from the repository root:
#
#   tests/data/regenerate.sh [BUILD_DIR]      (default: build/release)
#
# For every scenario below, satlog-sim writes NAME.stream (the bytes on the line) and NAME.log
# (the raw log the tool must record); then the regression test replays each stream into the
# receive thread and, with SATLOG_REGENERATE=1, stores the status-line texts it showed as
# NAME.status. Review the diff before committing it.
set -eu

build=${1:-build/release}
here=$(cd "$(dirname "$0")" && pwd)
nav="$here/../../../shared/data/brdc1820.10n"

cmake --build "$build" --target satlog-sim sim_regression_tests
sim="$build/tools/sim/satlog-sim"

record() {
    name=$1
    shift
    "$sim" "$@" --capture "$here/$name.stream" --log "$here/$name.log"
    rm -f "$here/$name.status"
}

# A quiet sky: the built-in constellation, 20 s.
record builtin-20s --duration 20 --start 345600
# Real broadcast ephemerides of 2010-07-01, 15 s from noon, a site in the southern hemisphere.
record brdc1820-noon --nav "$nav" --start 388800 --duration 15 --position -33.9,18.4,50
# A noisy line: junk, wrong trailers, unknown kinds, wrong separators, satellites with no slot.
record faults-mixed --duration 15 --start 345600 --junk-every 3 --bad-trailer-every 7 \
    --unknown-kind-every 11 --bad-separator-every 5 --bad-slot-every 13
# Ephemerides changing at 349200 s while the satellites are in view.
record ephemeris-change --duration 12 --start 349194 --snv-interval 600

SATLOG_REGENERATE=1 "$build/tests/sim/sim_regression_tests"
