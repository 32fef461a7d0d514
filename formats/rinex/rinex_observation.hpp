// Reader of RINEX 2 observation files (versions 2.10 and 2.11), strict about the layout: every
// line at most 80 characters, header labels in columns 61-80, every field in its own columns.
// GPS satellites are kept; the other systems' satellites of a mixed file are read past, as are
// header labels the reader does not use, and empty lines at the end of the file.
#pragma once

#include <array>
#include <istream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formats/rinex/rinex_error.hpp"
#include "formats/rinex/rinex_time.hpp"

struct RinexObservationHeader {
    double version = 0;  // 2.10 or 2.11
    char system = 'G';   // 'G' (GPS) or 'M' (mixed); a blank is GPS
    std::string markerName;
    std::array<double, 3> approxPosition{};  // ECEF metres
    std::array<double, 3> antennaDelta{};    // height, east, north in metres
    int wavelengthL1 = 1, wavelengthL2 = 1;
    std::vector<std::string> types;  // "L1", "C1", ... in the order of the observation fields
    GpsTime firstObservation;
    std::optional<GpsTime> lastObservation;
    std::optional<double> interval;  // seconds; none when the file gives none, or 0
    std::vector<std::string> comments;

    // The index of an observation type in `types`, -1 when the file does not have it.
    int TypeIndex(std::string_view type) const;
};

struct RinexObservation {
    double value = 0;
    bool present = false;  // a blank field is no observation
    int lli = -1;          // loss-of-lock indicator 0-7; -1 when blank
    int strength = -1;     // signal strength 0-9; -1 when blank
};

struct RinexSatelliteObservations {
    int prn = 0;
    std::vector<RinexObservation> values;  // one per header type, in that order
};

struct RinexObservationEpoch {
    GpsTime time;
    int flag = 0;                                        // 0 ok, 1 power failure before this epoch
    int line = 0;                                        // the line of the epoch record in the file
    std::optional<double> receiverClockOffset;           // seconds, when the file gives one
    std::vector<RinexSatelliteObservations> satellites;  // GPS only, in the file's order
    int otherSystemSatellites = 0;                       // read past
};

struct RinexObservationFile {
    RinexObservationHeader header;
    std::vector<RinexObservationEpoch> epochs;  // flags 0 and 1, in time order
    int eventRecords = 0;                       // epoch flags 2-5, their announced lines read past
    int cycleSlipRecords = 0;                   // epoch flag 6: checked like observations, not kept
};

// Reads an observation file from a stream, one epoch at a time: what it holds is the header and
// the epoch being read, whatever the size of the file.
class RinexObservationReader {
  public:
    explicit RinexObservationReader(std::istream& in);
    ~RinexObservationReader();

    // Reads the header; false when the file cannot be read (then Error() says why).
    bool ReadHeader();
    const RinexObservationHeader& Header() const;

    // The next epoch with flag 0 or 1, later than the one before; event records (flags 2-5) and
    // cycle-slip records (flag 6) on the way are checked and read past. False at the end of the
    // file and when it cannot be read (then Failed()).
    bool Next(RinexObservationEpoch& epoch);

    bool Failed() const;
    // Where reading stopped and why.
    const RinexError& Error() const;
    int EventRecords() const;      // epoch flags 2-5, their announced lines read past
    int CycleSlipRecords() const;  // epoch flag 6: checked like observations, not kept

  private:
    class Parser;
    std::unique_ptr<Parser> parser_;
};

// The whole of an observation file. On failure, the error names the line and what was wrong.
std::optional<RinexObservationFile> ReadRinexObservation(std::istream& in, RinexError& error);
std::optional<RinexObservationFile> ParseRinexObservation(std::string_view text, RinexError& error);
