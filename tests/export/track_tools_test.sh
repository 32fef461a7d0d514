#!/usr/bin/env bash
# satlog-dump nmea and gpx read by independent programs, against satlog-dump fix of the same
# simulated logs: one log of EPOCHS epochs (a whole day in the release suite) at 50 N 10 E, and
# short logs at places in the other hemispheres and at the geoid's lowest.
#   - every sentence accepted by the npm parser nmea-simple and at most 82 characters; its
#     positions within 2e-7 degrees of the fix, UTC = GPS time - 18 s (track_check.js);
#   - gpsbabel -i nmea (gprmc=0, see below) reads the file with nothing on standard error and
#     gives exactly the fixed epochs, within 2e-7 degrees, at GPS time - 18 s;
#   - GGA altitude and separation within 0.05 m of PROJ's cs2cs (EGM96), and altitude +
#     separation within 0.01 m of the fix's ellipsoidal height;
#   - the GPX file valid against the GPX 1.1 schema (xmllint), and ogrinfo reads one track point
#     per fixed epoch.
# Usage: track_tools_test.sh SIM DUMP DATA_DIR EPOCHS
set -euo pipefail
sim=$1 dump=$2 data=$3 epochs=$4
checker=$(cd "$(dirname "$0")" && pwd)/track_check.js
work=$(mktemp -d "${TMPDIR:-/tmp}/satlog-tracks.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
week=2000
export NODE_PATH=${NODE_PATH:-$(npm root -g)}
fail=0

# name position epochs start
check() {
  local name=$1 position=$2 count=$3 start=$4
  "$sim" --log "$name.log" --duration "$count" --start "$start" --position "$position" >/dev/null
  "$dump" fix "$name.log" >"$name.fix.csv"
  "$dump" nmea --week "$week" "$name.log" >"$name.nmea" 2>"$name.nmea.err"
  "$dump" gpx --week "$week" "$name.log" >"$name.gpx" 2>"$name.gpx.err"
  if [ -s "$name.nmea.err" ] || [ -s "$name.gpx.err" ]; then
    echo "FAIL $name: satlog-dump said: $(cat "$name.nmea.err" "$name.gpx.err")"
    fail=1
  fi
  # gpsbabel takes an RMC that follows a GGA as part of that GGA's fix and moves the fix to the
  # RMC's time (it expects GGA before RMC); with RMC first in every epoch, as here, it is told to
  # read the positions from GGA and the dates from ZDA (gprmc=0).
  gpsbabel -t -i nmea,gprmc=0 -f "$name.nmea" -o gpx -F "$name.babel.gpx" 2>"$name.babel.err"
  if [ -s "$name.babel.err" ]; then
    echo "FAIL $name: gpsbabel said: $(head -c 400 "$name.babel.err")"
    fail=1
  fi
  awk -F, 'NR > 1 && $6 != "" { print $6, $7, $8 }' "$name.fix.csv" |
    cs2cs -f %.6f EPSG:4979 EPSG:4326+5773 >"$name.cs2cs"
  echo "$name ($position, $count epochs):"
  node "$checker" "$name.nmea" "$name.fix.csv" "$name.babel.gpx" "$name.cs2cs" "$week" 18 || fail=1
  if ! xmllint --noout --nonet --schema "$data/gpx11.xsd" "$name.gpx" 2>"$name.xmllint"; then
    echo "FAIL $name: xmllint: $(head -c 400 "$name.xmllint")"
    fail=1
  fi
  local fixed points
  fixed=$(awk -F, 'NR > 1 && $6 != "" { n++ } END { print n + 0 }' "$name.fix.csv")
  points=$(ogrinfo -ro -so "$name.gpx" track_points | sed -n 's/^Feature Count: //p')
  echo "  GPX valid; ogrinfo: $points track points for $fixed fixed epochs"
  [ "$points" = "$fixed" ] || { echo "FAIL $name: ogrinfo read $points track points"; fail=1; }
}

check day 50,10,300 "$epochs" 0
check south-east -33.9,18.4,50 300 43200
check north-west 64.8,-147.7,150 300 43200
check geoid-low 4.7,78.8,10 300 43200
check south-west -12.34567,-76.54321,3000 300 43200
exit $fail
