#include "tools/dump/shared_options.hpp"

#include <CLI/CLI.hpp>

#include "formats/text/geodetic_text.hpp"
#include "formats/text/number_text.hpp"

CLI::Option* AddValueOption(CLI::App& command, const std::string& name,
                            const std::string& placeholder, const std::string& help,
                            std::function<bool(std::string_view value)> take,
                            const std::string& expected) {
    return command
        .add_option_function<std::string>(
            name,
            [name, take = std::move(take), expected](const std::string& value) {
                if (!take(value)) {
                    throw CLI::ValidationError(name, expected + ", not '" + value + "'");
                }
            },
            help)
        ->type_name(placeholder);
}

void AddLogFileArgument(CLI::App& command, std::string& file) {
    command
        .add_option("FILE", file, "the raw log satlog wrote (mavu0.txt), or - for\nstandard input")
        ->required()
        ->type_name("");
}

void AddWeekOptions(CLI::App& command, WeekOptions& week) {
    CLI::Option* weekOption = AddValueOption(
        command, "--week", "W", "the GPS week of the log's first epoch (0 to 9999)",
        [&week](std::string_view text) {
            int value = 0;
            if (!ParseWholeNumber(text, value) || value < 0 || value > 9999) {
                return false;
            }
            week.week = value;
            return true;
        },
        "takes a GPS week number 0..9999");
    CLI::Option* dateOption = AddValueOption(
        command, "--date", "YYYY-MM-DD",
        "the date of the log's first epoch (GPS time); without\n"
        "--week or --date the week is inferred from the log's\n"
        "modification time",
        [&week](std::string_view text) {
            CalendarTime date;
            if (text.size() != 10 || text[4] != '-' || text[7] != '-' ||
                !ParseWholeNumber(text.substr(0, 4), date.year) ||
                !ParseWholeNumber(text.substr(5, 2), date.month) ||
                !ParseWholeNumber(text.substr(8, 2), date.day) || date.year < 1980) {
                return false;
            }
            week.date = GpsTime::FromCalendar(date);  // nothing for a date that is none
            return week.date.has_value();
        },
        "takes the date of the first epoch as YYYY-MM-DD, 1980 or later");
    weekOption->excludes(dateOption);
}

void AddMaskOption(CLI::App& command, double& maskDeg) {
    AddValueOption(
        command, "--mask", "DEG",
        "elevation mask in degrees (default 15); the fix's\n"
        "first iteration, from the earth's centre, uses every\n"
        "satellite",
        [&maskDeg](std::string_view text) {
            double value = 0;
            if (!ParseWholeNumber(text, value) || value < -90.0 || value > 90.0) {
                return false;
            }
            maskDeg = value;
            return true;
        },
        "needs an elevation in degrees (-90 to 90)");
}

void AddLeapSecondsOption(CLI::App& command, std::optional<int>& leapSeconds) {
    AddValueOption(
        command, "--leap-seconds", "N",
        "GPS time minus UTC in seconds (default: the leap seconds\n"
        "in force at the epoch, from the table of those since\n"
        "1980: 18 since 2017-01-01)",
        [&leapSeconds](std::string_view text) {
            int value = 0;
            if (!ParseWholeNumber(text, value) || value < 0 || value > 99) {
                return false;
            }
            leapSeconds = value;
            return true;
        },
        "takes GPS time minus UTC in whole seconds (0 to 99)");
}

void AddFollowOptions(CLI::App& command, FollowFlags& flags) {
    CLI::Option* follow =
        command.add_flag("--follow", flags.follow,
                         "follow FILE while satlog writes it (it may not exist yet)\n"
                         "and write each epoch as soon as its PBN entry is whole,\n"
                         "until SIGINT or SIGTERM (exit status 0). The log is read\n"
                         "from its beginning to learn the ephemerides; output\n"
                         "starts with the first new epoch. When the log starts\n"
                         "again (satlog empties it at every start) or a new file\n"
                         "takes its name, standard error says so and the new\n"
                         "recording is read from its first byte");
    command
        .add_flag("--from-start", flags.fromStart,
                  "with --follow: every epoch of the log, not only the new\nones")
        ->needs(follow);
}

void AddNavigationOption(CLI::App& command, std::string& path) {
    command
        .add_option("--nav", path,
                    "a RINEX 2 GPS navigation file (such as the day's\n"
                    "broadcast file): its ION ALPHA / ION BETA give the fixes\n"
                    "the broadcast (Klobuchar) ionospheric correction of\n"
                    "IS-GPS-200; its ephemerides serve satellites the log has\n"
                    "no ephemeris for yet. Without it there is no ionospheric\n"
                    "correction")
        ->type_name("FILE");
}

void AddPositionOption(CLI::App& command, std::optional<Geodetic>& place,
                       const std::string& meaning) {
    AddValueOption(
        command, "--position", "LAT,LON,H",
        meaning +
            ":\nlatitude and longitude in degrees (north and east\npositive), height above "
            "the WGS-84 ellipsoid in metres",
        [&place](std::string_view text) {
            Geodetic value;
            if (!ParseLatLonHeight(text, value)) {
                return false;
            }
            place = value;
            return true;
        },
        "takes LAT,LON,H in degrees and metres");
}
