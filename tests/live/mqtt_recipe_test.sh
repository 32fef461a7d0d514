#!/usr/bin/env bash
# The README's hand-off to an MQTT broker, run on loopback: satlog-dump nmea --follow piped into
# the Mosquitto broker's publisher (mosquitto_pub -l, one message per line), one topic per
# station, two stations at once, each log growing while it is followed. Each station's
# subscriber must receive every sentence whole, in order: mosquitto_pub takes the LF off each
# line and mosquitto_sub puts one back after each message, so what the subscriber prints is the
# station's NMEA stream byte for byte.
# Usage: mqtt_recipe_test.sh SIM DUMP
set -euo pipefail
sim=$1 dump=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/satlog-mqtt.XXXXXX")
broker=
cleanup() {
  [ -n "$broker" ] && kill "$broker" 2>/dev/null && wait "$broker" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"

# A free port on 127.0.0.1 for the broker.
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
printf 'listener %s 127.0.0.1\nallow_anonymous true\n' "$port" >broker.conf
mosquitto -c broker.conf >broker.log 2>&1 &
broker=$!
for _ in $(seq 1 100); do
  mosquitto_sub -h 127.0.0.1 -p "$port" -t probe -W 1 -C 1 >/dev/null 2>&1 </dev/null &
  probe=$!
  sleep 0.05
  mosquitto_pub -h 127.0.0.1 -p "$port" -t probe -m up 2>/dev/null && wait "$probe" && break
  wait "$probe" || true
done

fail=0
for station in mavu kiel; do
  "$sim" --log "$station.recorded" --duration 120 --start 345600 >/dev/null
  "$dump" nmea --week 1590 "$station.recorded" >"$station.nmea"
  # The first part of the recording is there when the follower starts (cut inside an entry).
  head -c 100000 "$station.recorded" >"$station.log"
done
for station in mavu kiel; do
  sentences=$(wc -l <"$station.nmea")
  mosquitto_sub -h 127.0.0.1 -p "$port" -t "satlog/$station/nmea" -q 1 -C "$sentences" -W 60 \
    >"$station.received" &
  echo $! >"$station.sub"
done
sleep 0.5  # the subscribers are connected before the first message
publishers=()
for station in mavu kiel; do
  # The recipe: the sentences of one station to its own topic (--from-start and --week: every
  # epoch of the log, dated as the offline stream).
  { "$dump" nmea --follow --from-start --week 1590 "$station.log" 2>"$station.follow.err" &
    echo $! >"$station.follower"
    wait; } |
    mosquitto_pub -h 127.0.0.1 -p "$port" -t "satlog/$station/nmea" -l -q 1 &
  publishers+=($!)
done
sleep 0.5
for station in mavu kiel; do
  tail -c +100001 "$station.recorded" >>"$station.log"  # the rest, as the receiver sends it
done
wait_all=0
for station in mavu kiel; do
  wait "$(cat "$station.sub")" || wait_all=1
  if cmp -s "$station.nmea" "$station.received"; then
    echo "ok   $station: $(wc -l <"$station.received") sentences arrived whole and in order"
  else
    echo "FAIL $station: $(wc -l <"$station.received") of $(wc -l <"$station.nmea") lines equal" \
         "the stream: $(cmp "$station.nmea" "$station.received" 2>&1 | head -1)"
    fail=1
  fi
done
for station in mavu kiel; do
  kill -TERM "$(cat "$station.follower")"  # the follower ends with status 0, the publisher at EOF
done
for publisher in "${publishers[@]}"; do
  wait "$publisher" || { echo "FAIL a publisher failed"; fail=1; }
done
[ $wait_all -eq 0 ] || { echo "FAIL a subscriber did not receive every message"; fail=1; }
exit $fail
