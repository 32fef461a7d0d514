// The command line of satlog-sim: what to simulate, where to send it, how fast, and which faults
// to inject.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Every fault counts the receiver's own records (SNV, MPC, PBN) from 1; 0 switches it off.
struct FaultOptions {
    int junkEvery = 0;          // junk bytes before every Nth record
    int splitEvery = 0;         // every Nth record split across two writes, a pause > 50 ms between
    int badTrailerEvery = 0;    // every Nth record with a wrong trailer
    int unknownKindEvery = 0;   // a record of a kind the tool does not know after every Nth record
    int badSeparatorEvery = 0;  // every Nth record with a header separator other than ','
    int badSlotEvery = 0;    // a record for a satellite number that names no slot after every Nth
    int hangupAfter = 0;     // the line is hung up after this many records
    std::uint32_t seed = 1;  // of the junk bytes

    bool Any() const {
        return junkEvery || splitEvery || badTrailerEvery || unknownKindEvery ||
               badSeparatorEvery || badSlotEvery || hangupAfter;
    }
};

struct SimOptions {
    enum class Output { PseudoTerminal, Device, OfflineLog };
    Output output = Output::PseudoTerminal;
    std::string linkPath;     // --link: symbolic link to the pseudo-terminal's tool end
    std::string devicePath;   // --device
    std::string logPath;      // --log: the raw log the tool would record, instead of a line
    std::string capturePath;  // --capture: every byte sent on the line, as sent
    std::string truthPath;    // --truth: CSV of the simulated satellite positions
    std::string navPath;      // --nav: RINEX 2 GPS navigation file
    std::string replayPath;   // --replay: a raw log sent back as the receiver sent it
    std::string obsPath;      // --obs: RINEX 2 observation file replayed epoch by epoch

    std::optional<double> startSecondsOfWeek;  // --start
    std::optional<double> durationSeconds;     // --duration
    double speed = 1.0;                        // --speed
    bool speedGiven = false;
    bool fast = false;  // --fast

    double latitudeDeg = 50.0;  // --position LAT,LON,HEIGHT
    double longitudeDeg = 10.0;
    double heightM = 300.0;
    bool positionGiven = false;

    bool ionosphere = false;      // --ionosphere: the broadcast ionospheric delay of --nav's header
    int snvIntervalSeconds = 60;  // --snv-interval
    int silentAfter = -1;         // --silent-after: no answer after command N; -1 answers all
    FaultOptions faults;
    bool help = false;
    bool version = false;
};

struct OptionsResult {
    std::optional<SimOptions> options;  // empty on error
    std::string error;                  // what was wrong, naming the option
};

OptionsResult ParseSimOptions(std::span<const char* const> args);

// A file named on the command line, by its option, and whether the run only reads it or writes
// it (a device or a link counts as written: the run sends bytes to it or replaces it).
enum class FileUse { Read, Written };
struct NamedFile {
    std::string_view option;
    std::string path;
    FileUse use;
};

// Every file the options name, in the order of --help.
std::vector<NamedFile> FilesOf(const SimOptions& options);

// The text of --help.
const char* SimUsage();
