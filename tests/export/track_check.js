// Reads satlog-dump nmea's sentences with the npm parser nmea-simple and compares them, and what
// gpsbabel and PROJ's cs2cs made of the same log, with satlog-dump fix's CSV. Prints what it
// checked; exits 1 on the first kind of disagreement (each listed with its first examples).
//
// node track_check.js NMEA FIX_CSV BABEL_GPX CS2CS_OUT WEEK LEAP_SECONDS
"use strict";
const fs = require("fs");
const nmea = require("nmea-simple");

const [nmeaPath, fixPath, babelPath, cs2csPath, weekText, leapText] = process.argv.slice(2);
const week = Number(weekText);
const leap = Number(leapText);
const problems = new Map();
function problem(kind, detail) {
    const list = problems.get(kind) || [];
    list.push(detail);
    problems.set(kind, list);
}

// satlog-dump fix: one row per epoch; the fixed ones have a latitude.
const fixes = fs.readFileSync(fixPath, "utf8").trim().split("\n").slice(1).map((row) => {
    const f = row.split(",");
    return {timeMs: Number(f[0]), fixed: f[5] !== "", lat: Number(f[5]), lon: Number(f[6]),
            height: Number(f[7])};
});
const fixed = fixes.filter((f) => f.fixed);
const gpsEpochMs = Date.UTC(1980, 0, 6);
const utcMs = (f) => gpsEpochMs + week * 604800000 + f.timeMs - leap * 1000;

// The sentences: CR LF after each, at most 82 characters with $ and CR LF, each accepted by the
// parser (which throws on a bad checksum or form); an epoch starts with RMC and holds one GGA.
const text = fs.readFileSync(nmeaPath, "latin1");
if (!text.endsWith("\r\n")) problem("the output does not end in CR LF", "");
const lines = text.slice(0, -2).split("\r\n");
const epochs = [];
for (const line of lines) {
    if (line.length + 2 > 82) problem("sentence over 82 characters", line);
    if (line.includes("\n") || line.includes("\r")) problem("a bare CR or LF", line);
    let packet;
    try {
        packet = nmea.parseNmeaSentence(line);
    } catch (e) {
        problem("nmea-simple refused a sentence", line + ": " + e.message);
        continue;
    }
    if (packet.sentenceId === "RMC") epochs.push({rmc: packet});
    else if (epochs.length > 0) epochs[epochs.length - 1][packet.sentenceId.toLowerCase()] = packet;
}
if (epochs.length !== fixes.length) problem("epochs differ from fix's rows", `${epochs.length} vs ${fixes.length}`);

// cs2cs: the height above EGM96 of every fixed epoch's latitude, longitude and ellipsoidal height.
const geoid = fs.readFileSync(cs2csPath, "utf8").trim().split("\n").map((l) => Number(l.split(/\s+/)[2]));
if (geoid.length !== fixed.length) problem("cs2cs rows differ from the fixed epochs", `${geoid.length}`);

let k = 0;
let worst = {latlon: 0, sum: 0, altitude: 0, separation: 0};
epochs.forEach((e, i) => {
    const f = fixes[i];
    if (!f) return;
    const gga = e.gga;
    if (!gga || !e.gsa || !e.gsv || !e.zda) return problem("an epoch lacks a sentence", `epoch ${i}`);
    if (gga.time.getTime() % 86400000 !== utcMs(f) % 86400000) problem("GGA time is not GPS - leap seconds", `epoch ${i}`);
    if (e.zda.datetime.getTime() !== utcMs(f) || e.rmc.datetime.getTime() !== utcMs(f))
        problem("ZDA or RMC date and time are not GPS - leap seconds", `epoch ${i}`);
    if (!f.fixed) {
        if (gga.fixType !== "none" || e.rmc.status !== "warning" || e.gsa.fixMode !== "none")
            problem("an epoch without a fix is not marked so", `epoch ${i}`);
        return;
    }
    if (gga.fixType !== "fix" || e.rmc.status !== "valid" || e.gsa.fixMode !== "3D")
        problem("a fixed epoch is not marked so", `epoch ${i}`);
    const d = Math.max(Math.abs(gga.latitude - f.lat), Math.abs(gga.longitude - f.lon),
                       Math.abs(e.rmc.latitude - f.lat), Math.abs(e.rmc.longitude - f.lon));
    const sum = Math.abs(gga.altitudeMeters + gga.geoidalSeperation - f.height);
    const altitude = Math.abs(gga.altitudeMeters - geoid[k]);
    const separation = Math.abs(gga.geoidalSeperation - (f.height - geoid[k]));
    k++;
    worst = {latlon: Math.max(worst.latlon, d), sum: Math.max(worst.sum, sum),
             altitude: Math.max(worst.altitude, altitude), separation: Math.max(worst.separation, separation)};
    if (d > 2e-7) problem("latitude or longitude off the fix by more than 2e-7 degrees", `epoch ${i}: ${d}`);
    if (sum > 0.01) problem("altitude + separation off the ellipsoidal height by more than 0.01 m", `epoch ${i}: ${sum}`);
    if (altitude > 0.05 || separation > 0.05) problem("altitude or separation off cs2cs by more than 0.05 m", `epoch ${i}: ${altitude} ${separation}`);
});

// gpsbabel's reading, as a GPX 1.0 track (nine decimals): exactly the fixed epochs, in order.
const babel = [...fs.readFileSync(babelPath, "utf8").matchAll(/<trkpt lat="([^"]+)" lon="([^"]+)">\s*(?:<ele>[^<]*<\/ele>\s*)?<time>([^<]+)<\/time>/g)]
    .map((m) => ({lat: Number(m[1]), lon: Number(m[2]), time: Date.parse(m[3])}));
if (babel.length !== fixed.length) problem("gpsbabel's points differ from the fixed epochs", `${babel.length} vs ${fixed.length}`);
let babelWorst = 0;
babel.forEach((p, i) => {
    const f = fixed[i];
    if (!f) return;
    const d = Math.max(Math.abs(p.lat - f.lat), Math.abs(p.lon - f.lon));
    babelWorst = Math.max(babelWorst, d);
    if (d > 2e-7) problem("gpsbabel: latitude or longitude off the fix by more than 2e-7 degrees", `point ${i}: ${d}`);
    if (p.time !== utcMs(f)) problem("gpsbabel: time is not GPS - leap seconds", `point ${i}: ${new Date(p.time).toISOString()}`);
});

console.log(`${lines.length} sentences, ${epochs.length} epochs, ${fixed.length} fixed; ` +
            `gpsbabel ${babel.length} points (worst lat/lon ${babelWorst.toExponential(2)} deg); ` +
            `NMEA worst lat/lon ${worst.latlon.toExponential(2)} deg, |alt + sep - h| ${worst.sum.toFixed(4)} m, ` +
            `cs2cs altitude ${worst.altitude.toFixed(4)} m, separation ${worst.separation.toFixed(4)} m`);
for (const [kind, list] of problems) {
    console.log(`FAIL ${kind} (${list.length}): ${list.slice(0, 3).join(" | ")}`);
}
process.exit(problems.size === 0 ? 0 : 1);
