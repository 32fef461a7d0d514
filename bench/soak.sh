#!/usr/bin/env bash
# The 24-hour soak at simulator speed: satlog-sim --fast sends 24 hours of receiver time (86,400
# epochs, one per second) through a pseudo-terminal into the running window (off screen, START
# pressed), and then checks that
#   - the raw log is byte-identical to the simulator's --log of the same scenario (no record lost
#     or altered),
#   - every epoch's count on the third status line equals the number of satellites the simulator
#     had in view at that epoch (its --truth),
#   - the program's resident memory grew by less than 1 MB after its first minute (and, as the
#     line is fast enough for the run to end soon after that, after the first tenth of the records),
#   - no sanitizer reported anything (when run on a sanitizer build; memory is then not judged).
# Not part of the test run: it takes as long as the line needs for 24 hours of records.
#
#   bench/soak.sh [EPOCHS]            default 86400
#
# Environment: SATLOG_SOAK_BUILD  build directory (default build/release; build/debug runs the
#                                 soak under AddressSanitizer + UndefinedBehaviorSanitizer)
#              SATLOG_SOAK_DIR    work directory (default: a new one under /tmp, kept)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
epochs=${1:-86400}
build=${SATLOG_SOAK_BUILD:-build/release}
work=${SATLOG_SOAK_DIR:-$(mktemp -d /tmp/satlog-soak-XXXXXX)}
mkdir -p "$work"
work=$(cd "$work" && pwd)

preset=release
[[ -f $build/CMakeCache.txt ]] && preset=""
if [[ -n $preset ]]; then
    cmake --preset release -B "$build" >/dev/null
fi
cmake --build "$build" -j 2 --target satlog satlog-sim satlog-dump >/dev/null
satlog=$root/$build/app/satlog
sim=$root/$build/tools/sim/satlog-sim
dump=$root/$build/tools/dump/satlog-dump

echo "== soak: $epochs epochs, work directory $work"

# What the tool must end up with: the simulator's own raw log and truth of the same scenario.
"$sim" --start 345600 --duration "$epochs" --log "$work/expected.log" --truth "$work/truth.csv"
"$dump" records "$work/expected.log" >"$work/expected.records"
expected_bytes=$(stat -c %s "$work/expected.log")
expected_records=$(wc -l <"$work/expected.records")
# One count per epoch: the satellites in view at that epoch's time (0 when none are).
awk -F, 'NR == FNR { if (FNR > 1) seen[$1]++; next }
         / kind=PBN / { sub(/.*timeMs=/, ""); sub(/ .*/, ""); print seen[$0] + 0 }' \
    "$work/truth.csv" "$work/expected.records" >"$work/expected.counts"
echo "   expected: $(wc -l <"$work/expected.counts") epochs, $expected_records records," \
     "$expected_bytes bytes"

# The live run.
mkdir -p "$work/live"
chmod 700 "$work/live"  # Qt wants its runtime directory private
coproc SIM { exec "$sim" --start 345600 --fast --duration "$epochs" 2>"$work/sim.err"; }
sim_pid=$SIM_PID
read -r -t 20 tty <&"${SIM[0]}"
[[ -n ${tty:-} ]] || { echo "the simulator printed no pseudo-terminal"; exit 1; }
start=$(date +%s.%N)
( cd "$work/live" && exec env QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/live" \
    SATLOG_COM3="$tty" SATLOG_TRACE=1 SATLOG_CLICK=Button4 "$satlog" 2>"$work/satlog.err" ) &
satlog_pid=$!
cleanup() {
    kill "$satlog_pid" "$sim_pid" 2>/dev/null || true
}
trap cleanup EXIT

# Resident memory once a second, until the raw log is complete or the program has gone.
: >"$work/rss.tsv"
while kill -0 "$satlog_pid" 2>/dev/null; do
    now=$(date +%s.%N)
    rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$satlog_pid/status" 2>/dev/null || true)
    size=$(stat -c %s "$work/live/mavu0.txt" 2>/dev/null || echo 0)
    echo -e "$(awk -v a="$now" -v b="$start" 'BEGIN { printf "%.1f", a - b }')\t${rss:-0}\t$size" \
        >>"$work/rss.tsv"
    [[ $size -ge $expected_bytes ]] && break
    sleep 1
done
end=$(date +%s.%N)
sleep 1  # the last epoch's count
ticks=$(getconf CLK_TCK)
satlog_cpu=$(awk -v t="$ticks" '{ printf "%.1f", ($14 + $15) / t }' "/proc/$satlog_pid/stat" 2>/dev/null || echo "?")
wait "$sim_pid" 2>/dev/null || true
kill "$satlog_pid" 2>/dev/null || true
wait "$satlog_pid" 2>/dev/null || true
trap - EXIT

# Verdicts.
failed=0
elapsed=$(awk -v a="$end" -v b="$start" 'BEGIN { printf "%.0f", a - b }')
live_bytes=$(stat -c %s "$work/live/mavu0.txt" 2>/dev/null || echo 0)
if cmp -s "$work/expected.log" "$work/live/mavu0.txt"; then
    echo "   raw log: byte-identical ($live_bytes bytes, $expected_records records)"
else
    echo "   raw log: DIFFERS ($live_bytes of $expected_bytes bytes): $(cmp "$work/expected.log" "$work/live/mavu0.txt" 2>&1 | head -n 1)"
    failed=1
fi
grep -E '^Label3: [0-9]+$' "$work/satlog.err" | sed 's/^Label3: //' >"$work/live.counts" || true
if cmp -s "$work/expected.counts" "$work/live.counts"; then
    echo "   counts: all $(wc -l <"$work/live.counts") epochs equal the satellites in view"
else
    echo "   counts: DIFFER ($(wc -l <"$work/live.counts") shown for $(wc -l <"$work/expected.counts") epochs):" \
         "$(diff "$work/expected.counts" "$work/live.counts" | head -n 3 | tr '\n' ' ')"
    failed=1
fi
errors=$(grep -cE '^Label2: (error|mavu0.txt Write Error)$' "$work/satlog.err" || true)
[[ $errors == 0 ]] || { echo "   status line 2 reported $errors errors"; failed=1; }
if grep -qE 'ERROR: (Address|Leak|Thread)Sanitizer|runtime error:' "$work/satlog.err"; then
    echo "   sanitizer report in $work/satlog.err"
    failed=1
fi
# The first minute of the run as asked, and (for a run that ends soon after its first minute) the
# whole run after a warm-up of the first tenth of the records.
read -r rss_first rss_minute rss_after_minute rss_tenth rss_after_tenth rss_end < <(awk -F'\t' -v b="$expected_bytes" '
    NR == 2 { f = $2 }
    $1 >= 60 && m == "" { m = $2 } $1 >= 60 && $2 > am { am = $2 }
    $3 >= b / 10 && t == "" { t = $2 } $3 >= b / 10 && $2 > at { at = $2 }
    { e = $2 }
    END { if (m == "") { m = e; am = e } if (t == "") { t = e; at = e }
          print f, m, am, t, at, e }' "$work/rss.tsv")
growth=$((rss_after_minute - rss_minute))
growth_tenth=$((rss_after_tenth - rss_tenth))
echo "   memory: RSS ${rss_first} kB at start, ${rss_end} kB at the end;" \
     "after the first minute ${rss_minute} -> peak ${rss_after_minute} kB (growth ${growth} kB);" \
     "after the first tenth of the records ${rss_tenth} -> peak ${rss_after_tenth} kB (growth ${growth_tenth} kB)"
sanitizers=$(sed -n 's/^SATLOG_SANITIZE:STRING=//p' "$build/CMakeCache.txt")
if [[ -n $sanitizers ]]; then
    # AddressSanitizer holds freed memory back (its quarantine) to catch late uses: resident
    # memory says nothing about leaks there. Memory is judged on a build without sanitizers.
    echo "   memory: not judged on a build with sanitizers ($sanitizers)"
elif [[ $growth -ge 1024 || $growth_tenth -ge 1024 ]]; then
    echo "   memory grew by 1 MB or more"
    failed=1
fi
echo "   time: ${elapsed} s for $epochs epochs ($(awk -v e="$epochs" -v s="$elapsed" 'BEGIN { printf "%.0f", e / (s > 0 ? s : 1) }') epochs/s);" \
     "satlog CPU ${satlog_cpu} s"
if [[ $failed != 0 ]]; then
    echo "== soak FAILED (files in $work)"
    exit 1
fi
echo "== soak passed (files in $work)"
