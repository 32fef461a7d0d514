// The arguments and options that several commands of satlog-dump take, each defined here once:
// its name, the placeholder and help text --help shows, how its value is read, and what a wrong
// value is told. A command adds the ones it takes; an option shared by commands yet to come goes
// here too.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "gnss/coordinates.hpp"
#include "tools/dump/log_command_support.hpp"

namespace CLI {
class App;
class Option;
}  // namespace CLI

// An option taking one value that `take` reads; a value it refuses ends the command line with
// "NAME: EXPECTED, not 'VALUE'". `placeholder` stands for the value in --help.
CLI::Option* AddValueOption(CLI::App& command, const std::string& name,
                            const std::string& placeholder, const std::string& help,
                            std::function<bool(std::string_view value)> take,
                            const std::string& expected);

// FILE: the raw log, or - for standard input (required).
void AddLogFileArgument(CLI::App& command, std::string& file);

// --week W | --date YYYY-MM-DD: the GPS week of the log's first epoch, which the records do not
// carry; without either it is inferred from the log's modification time (ResolveFirstWeek).
void AddWeekOptions(CLI::App& command, WeekOptions& week);

// --mask DEG: the elevation mask of the fix, -90 to 90 degrees; `maskDeg` holds the default.
void AddMaskOption(CLI::App& command, double& maskDeg);

// --leap-seconds N: GPS time minus UTC, 0 to 99 s; without it the table of leap seconds decides.
void AddLeapSecondsOption(CLI::App& command, std::optional<int>& leapSeconds);

// --follow [--from-start]: the log followed while satlog writes it (log_follower.hpp).
struct FollowFlags {
    bool follow = false;
    bool fromStart = false;  // every epoch of the log, not only the new ones
};
void AddFollowOptions(CLI::App& command, FollowFlags& flags);

// --nav FILE: a RINEX 2 GPS navigation file whose ION ALPHA / ION BETA give the fixes the
// broadcast ionospheric correction and whose ephemerides serve satellites the log has none for
// yet (navigation_option.hpp reads it).
void AddNavigationOption(CLI::App& command, std::string& path);

// --position LAT,LON,H: a place on the WGS-84 ellipsoid; `meaning` says what it stands for.
void AddPositionOption(CLI::App& command, std::optional<Geodetic>& place,
                       const std::string& meaning);
