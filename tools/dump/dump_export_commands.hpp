// The commands of satlog-dump that take a raw log into other tools' world: RINEX 2.11 files, a
// quality summary and a sky plot. Each takes the arguments after its name.
#pragma once

#include <cstdio>

int DumpRinexMain(int argc, const char* const* argv, std::FILE* out, std::FILE* err);
int DumpSummaryMain(int argc, const char* const* argv, std::FILE* out, std::FILE* err);
int DumpSkyplotMain(int argc, const char* const* argv, std::FILE* out, std::FILE* err);

inline constexpr const char* kRinexUsage =
    "usage: satlog-dump rinex FILE [--week W | --date YYYY-MM-DD] [--station NAME] [--dir DIR]\n"
    "  Writes a RINEX 2.11 observation file NAMEddd0.yyo and GPS navigation file NAMEddd0.yyn\n"
    "  in DIR (default: the current directory) and prints their paths. NAME: four letters or\n"
    "  digits, by default the first four characters of FILE's name in lower case; ddd and yy:\n"
    "  day of year and year of the first epoch. The records carry no week number: it comes from\n"
    "  --week (the GPS week of the first epoch), --date (the date of the first epoch) or else\n"
    "  from FILE's modification time (the week that puts the last epoch closest before it,\n"
    "  named on standard error). A time of week that falls back by more than half a week\n"
    "  continues in the next week.\n"
    "  Observations: one epoch per PBN entry with a satellite to write; C1 = speed of light x\n"
    "  rawRange, for every measurement with a usable status, whether or not the log has brought\n"
    "  its satellite's ephemeris yet (the phase is not written); APPROX POSITION XYZ is the\n"
    "  median fix. Navigation: each distinct ephemeris once,\n"
    "  in the order first seen; IODE, IODC, health, accuracy, L2 codes and flag are written as 0\n"
    "  and the fit interval as 4 hours (the records do not carry them); the transmission time\n"
    "  is the receive time of the epoch that brought the record.\n"
    "  Exit status: 0 written from the whole log; 1 written from a damaged log (each damaged\n"
    "  stretch named on standard error), or nothing to write; 2 bad usage, a log that cannot be\n"
    "  read, a week that cannot be resolved, or a file that cannot be written.\n";

inline constexpr const char* kSummaryUsage =
    "usage: satlog-dump summary FILE [--week W | --date YYYY-MM-DD]\n"
    "  Entries per kind, bad trailers, the damaged stretches (unknown tags, torn entries) the\n"
    "  reader skipped, first and last epoch (with the date when the week is given or can be\n"
    "  inferred from FILE's modification time), epochs and interval, gaps of 5 s or more,\n"
    "  satellites per epoch, per satellite the epochs measured, the usable ones (usable status\n"
    "  and an ephemeris) and the ephemerides received,\n"
    "  and the mean fix with its scatter (1 sigma north, east, up).\n";

inline constexpr const char* kSkyplotUsage =
    "usage: satlog-dump skyplot FILE -o FILE.svg [--position LAT,LON,H]\n"
    "  A polar plot of every satellite's track over the log, seen from the log's median fix or\n"
    "  the given position (degrees, metres): north up, azimuth clockwise, rings every 15 degrees,\n"
    "  the 15 degree elevation mask dashed, each track labelled at its last point.\n";
