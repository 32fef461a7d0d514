#!/usr/bin/env bash
# Measures the program satlog: time from process start to the window's first paint, resident
# memory while it records the simulated receiver, and CPU time while it waits after START on a
# receiver that never answers. Usage: tests/app/measure_window.sh [build-dir] (default
# build/release); draws on Xvfb when it is installed and no display is set, else off screen.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build/release}" && pwd)
satlog="$build/app/satlog"
sim="$build/tools/sim/satlog-sim"
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"
export XDG_RUNTIME_DIR="$work"

where="off screen"
if [ -z "${DISPLAY:-}" ] && command -v Xvfb >/dev/null; then
  Xvfb :77 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  pids+=($!)
  export DISPLAY=:77
  sleep 1
  where="Xvfb"
elif [ -n "${DISPLAY:-}" ]; then
  where="the display $DISPLAY"
else
  export QT_QPA_PLATFORM=offscreen
fi

start_sim() {  # start_sim ARGS... -> sets $pty
  "$sim" --start 345600 "$@" >"$work/sim.out" 2>/dev/null &
  pids+=($!)
  for _ in $(seq 1 100); do [ -s "$work/sim.out" ] && break; sleep 0.1; done
  pty=$(head -n 1 "$work/sim.out")
}

echo "satlog on $where ($(nproc) cores)"

# 1. First paint, ten starts.
paints=()
for i in $(seq 1 10); do
  t=$(SATLOG_COM3=/nonexistent SATLOG_FIRST_PAINT=1 SATLOG_CLOSE_AFTER=0.2 "$satlog" 2>&1 |
      sed -n 's/^first paint: \([0-9]*\) ms.*/\1/p')
  paints+=("$t")
done
sorted=$(printf '%s\n' "${paints[@]}" | sort -n)
echo "first paint after process start (ms), 10 starts: $(echo $sorted)"
echo "  median $(echo "$sorted" | sed -n 5p) ms, worst $(echo "$sorted" | tail -n 1) ms"

# 2. Resident memory while recording the simulated receiver, 8 s after START.
start_sim
SATLOG_COM3="$pty" SATLOG_CLICK=Button4 SATLOG_CLOSE_AFTER=10 "$satlog" 2>/dev/null &
app=$!
sleep 8
echo "resident memory while recording: $(awk '/VmRSS/ {print $2, $3}' /proc/$app/status)" \
     "(peak $(awk '/VmHWM/ {print $2, $3}' /proc/$app/status))"
wait $app

# 3. CPU while waiting after START on a receiver that never answers, over 10 s.
start_sim --silent-after 0
SATLOG_COM3="$pty" SATLOG_CLICK=Button4 SATLOG_CLOSE_AFTER=14 "$satlog" 2>/dev/null &
app=$!
sleep 3
ticks() { awk '{print $14 + $15}' /proc/$app/stat; }
hz=$(getconf CLK_TCK)
before=$(ticks)
t0=$(date +%s%N)
sleep 10
after=$(ticks)
t1=$(date +%s%N)
awk -v d=$((after - before)) -v hz="$hz" -v ns=$((t1 - t0)) 'BEGIN {
  s = d / hz; printf "CPU while idle after START (silent receiver): %.3f s in %.1f s = %.2f %%\n",
  s, ns / 1e9, 100 * s / (ns / 1e9) }'
wait $app
