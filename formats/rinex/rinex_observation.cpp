#include "formats/rinex/rinex_observation.hpp"

#include <algorithm>
#include <cstdint>

#include "formats/rinex/rinex_columns.hpp"
#include "formats/rinex/rinex_observation_header.hpp"

namespace {

constexpr std::size_t kSatellitesPerLine = 12;  // 12(A1,I2) in columns 33-68
constexpr std::size_t kFieldsPerLine = 5;       // 5(F14.3,I1,I1)
constexpr std::size_t kFieldWidth = 16;

// Everything an epoch record's first line says, before its satellites are read.
struct EpochLine {
    GpsTime time;
    bool hasTime = false;
    int flag = 0;
    int count = 0;  // satellites, or announced lines of an event
};

// Columns 1-32: 1X,I2.2 year, 4(1X,I2) month to minute, F11.7 seconds, 2X, I1 flag, I3 count.
bool ReadEpochLine(std::string_view line, EpochLine& epoch, std::string& error) {
    const std::string_view flag = Columns(line, 28, 1);
    if (flag.empty() || flag[0] < '0' || flag[0] > '6') {
        error = "epoch flag in column 29 must be 0-6, not " + Quoted(flag);
        return false;
    }
    epoch.flag = flag[0] - '0';
    const bool event = epoch.flag >= 2 && epoch.flag <= 5;
    if (!IsBlank(Columns(line, 26, 2))) {
        error = "columns 27-28 of an epoch record must be blank";
        return false;
    }
    const std::string_view countField = Columns(line, 29, 3);
    if (!(event && IsBlank(countField)) &&
        (!ReadInteger(countField, epoch.count) || epoch.count < 0)) {
        error = "the number in columns 30-32 (I3) is " + Quoted(countField);
        return false;
    }
    // Events of a new site or of header lines may leave the time blank.
    epoch.hasTime = !(event && IsBlank(Columns(line, 0, 26)));
    if (!epoch.hasTime) {
        return true;
    }
    int yy = 0;
    CalendarTime t;
    int* fields[] = {&yy, &t.month, &t.day, &t.hour, &t.minute};
    for (std::size_t k = 0; k < 5; ++k) {
        const std::string_view field = Columns(line, 3 * k, 3);
        if (field.size() != 3 || field[0] != ' ' || !ReadInteger(field, *fields[k]) ||
            *fields[k] < 0) {
            error = "the epoch's date and time in columns 1-15 are not 5(1X,I2)";
            return false;
        }
    }
    if (!ReadFixedUnits(Columns(line, 15, 11), 7, t.secondTicks)) {
        error =
            "the epoch's seconds in columns 16-26 are not F11.7: " + Quoted(Columns(line, 15, 11));
        return false;
    }
    t.year = yy < 80 ? 2000 + yy : 1900 + yy;
    const std::optional<GpsTime> time = RinexEpochTime(t);
    if (yy > 99 || !time) {
        error = "the epoch's date and time are not valid";
        return false;
    }
    epoch.time = *time;
    return true;
}

}  // namespace

class RinexObservationReader::Parser {
  public:
    explicit Parser(std::istream& in) : lines_(in) {}

    bool ReadHeader();
    bool Next(RinexObservationEpoch& epoch);

    RinexObservationHeader header;
    int eventRecords = 0;
    int cycleSlipRecords = 0;
    bool failed = false;
    RinexError failure;

  private:
    enum class Record { Epoch, ReadPast, Failed };

    // A malformed line (too long, not ASCII) is the reason, whatever the caller was reading.
    bool Fail(std::string message) {
        failed = true;
        failure.line = failLine_ != 0 ? failLine_ : lines_.LineNumber();
        if (lines_.Error().empty()) {
            failure.message = std::move(message);
        } else {
            failure.message = lines_.Error();
        }
        return false;
    }
    bool NextLine(std::string_view& line, const char* whereEnded) {
        return lines_.Next(line) || Fail(whereEnded);
    }
    bool AtEndAfterBlankLines();
    Record ReadRecord(std::string_view line, RinexObservationEpoch& epoch);
    bool SkipEvent(const EpochLine& epoch);
    bool ReadSatelliteList(std::string_view line, int count, RinexObservationEpoch& epoch);
    bool ReadObservations(RinexObservationEpoch& epoch, int count);

    RinexLines lines_;
    std::vector<bool> kept_;  // per satellite of the epoch being read: GPS, kept
    std::optional<GpsTime> lastTime_;
    int failLine_ = 0;  // when the error belongs to another line than the last one read
};

bool RinexObservationReader::Parser::ReadHeader() {
    if (lines_.AtEnd()) {
        failLine_ = 1;  // as an editor shows an empty file
        return Fail("the file is empty");
    }
    RinexObservationHeaderReader reader;
    std::string_view line;
    std::string error;
    while (!reader.Ended()) {
        if (!NextLine(line, "the file ends before END OF HEADER")) {
            return false;
        }
        if (!reader.Take(line, error)) {
            return Fail(error);
        }
    }
    if (!reader.Complete(error)) {
        return Fail(error);
    }
    header = std::move(reader.header);
    return true;
}

bool RinexObservationReader::Parser::SkipEvent(const EpochLine& epoch) {
    std::string_view line;
    for (int k = 0; k < epoch.count; ++k) {
        if (!NextLine(line, "the file ends inside the lines an event record announces")) {
            return false;
        }
        std::string error;
        if ((epoch.flag == 3 || epoch.flag == 4) && !CheckInDataHeaderLine(line, error)) {
            return Fail(error);
        }
    }
    ++eventRecords;
    return true;
}

// The satellites of an epoch: 12 on the first line from column 33, then continuation lines with
// columns 1-32 blank. The receiver clock offset may follow on the first line (F12.9, columns
// 69-80).
bool RinexObservationReader::Parser::ReadSatelliteList(std::string_view line, int count,
                                                       RinexObservationEpoch& epoch) {
    const auto total = static_cast<std::size_t>(count);
    for (std::size_t done = 0, lineIndex = 0; done < total || lineIndex == 0; ++lineIndex) {
        if (lineIndex > 0) {
            if (!NextLine(line, "the file ends inside an epoch's satellite list")) {
                return false;
            }
            if (!IsBlank(Columns(line, 0, 32))) {
                return Fail(
                    "more than 12 satellites continue on a line whose columns 1-32 are "
                    "blank");
            }
        }
        const std::size_t onLine = std::min(kSatellitesPerLine, total - done);
        for (std::size_t k = 0; k < onLine; ++k, ++done) {
            const std::string_view id = Columns(line, 32 + 3 * k, 3);
            int prn = 0;
            const std::string_view number = Columns(id, 1, 2);
            if (id.size() != 3 || !ReadInteger(number, prn) || prn < 1) {
                return Fail("satellite " + std::to_string(done + 1) + " in columns " +
                            std::to_string(33 + 3 * k) + "-" + std::to_string(35 + 3 * k) + " is " +
                            Quoted(id) + ", not a system letter and a number (A1,I2)");
            }
            const char system = id[0];
            const bool gps = system == ' ' || system == 'G';
            if (!gps && (header.system != 'M' ||
                         std::string_view("RESJCI").find(system) == std::string_view::npos)) {
                return Fail("satellite " + Quoted(id) + " is not of the file's system");
            }
            kept_.push_back(gps);
            if (gps && std::any_of(epoch.satellites.begin(), epoch.satellites.end(),
                                   [&](const auto& s) { return s.prn == prn; })) {
                return Fail("satellite " + Quoted(id) + " twice in the epoch");
            }
            if (gps) {
                epoch.satellites.push_back({prn, {}});
            } else {
                ++epoch.otherSystemSatellites;
            }
        }
        if (!IsBlank(Columns(line, 32 + 3 * onLine, 36 - 3 * onLine))) {
            return Fail("more satellites on the line than the " + std::to_string(count) +
                        " the epoch announces");
        }
        const std::string_view clock = Columns(line, 68, 12);
        if (!IsBlank(clock)) {
            double offset = 0;
            if (lineIndex > 0 || !ReadFixed(clock, 9, offset)) {
                return Fail(
                    "the receiver clock offset in columns 69-80 is not F12.9 on the "
                    "epoch's first line: " +
                    Quoted(clock));
            }
            epoch.receiverClockOffset = offset;
        }
    }
    return true;
}

// Per satellite, 5(F14.3,I1,I1) per line, as many lines as the header has types in fives.
bool RinexObservationReader::Parser::ReadObservations(RinexObservationEpoch& epoch, int count) {
    const std::vector<std::string>& types = header.types;
    const std::size_t typeCount = types.size();
    const std::size_t linesPerSatellite = (typeCount + kFieldsPerLine - 1) / kFieldsPerLine;
    std::size_t gpsIndex = 0;
    for (int s = 0; s < count; ++s) {
        const bool keep = kept_[static_cast<std::size_t>(s)];
        RinexSatelliteObservations* sat = keep ? &epoch.satellites[gpsIndex++] : nullptr;
        if (sat != nullptr) {
            sat->values.resize(typeCount);
        }
        for (std::size_t l = 0; l < linesPerSatellite; ++l) {
            std::string_view line;
            if (!NextLine(line, "the file ends inside an epoch's observations")) {
                return false;
            }
            const std::size_t first = l * kFieldsPerLine;
            const std::size_t onLine = std::min(kFieldsPerLine, typeCount - first);
            for (std::size_t f = 0; f < onLine; ++f) {
                RinexObservation o;
                const std::string_view value = Columns(line, kFieldWidth * f, 14);
                const std::string_view lli = Columns(line, kFieldWidth * f + 14, 1);
                const std::string_view strength = Columns(line, kFieldWidth * f + 15, 1);
                auto what = [&] {
                    return "satellite " + std::to_string(s + 1) + " of the epoch, " +
                           types[first + f] + " in columns " + std::to_string(kFieldWidth * f + 1) +
                           "-" + std::to_string(kFieldWidth * f + 16);
                };
                if (!IsBlank(value)) {
                    if (!ReadFixed(value, 3, o.value)) {
                        return Fail(what() + ": " + Quoted(value) + " is not F14.3");
                    }
                    o.present = true;
                }
                if (!IsBlank(lli)) {
                    if (lli[0] < '0' || lli[0] > '7') {
                        return Fail(what() + ": loss-of-lock indicator " + Quoted(lli) +
                                    " is not 0-7");
                    }
                    o.lli = lli[0] - '0';
                }
                if (!IsBlank(strength)) {
                    if (strength[0] < '0' || strength[0] > '9') {
                        return Fail(what() + ": signal strength " + Quoted(strength) +
                                    " is not 0-9");
                    }
                    o.strength = strength[0] - '0';
                }
                if (sat != nullptr) {
                    sat->values[first + f] = o;
                }
            }
            if (!IsBlank(Columns(line, kFieldWidth * onLine, 80))) {
                return Fail(
                    "text after the last observation field of the line (the header "
                    "lists " +
                    std::to_string(typeCount) + " types)");
            }
        }
    }
    return true;
}

RinexObservationReader::Parser::Record RinexObservationReader::Parser::ReadRecord(
    std::string_view line, RinexObservationEpoch& epoch) {
    const int epochLine = lines_.LineNumber();
    EpochLine head;
    std::string message;
    if (!ReadEpochLine(line, head, message)) {
        Fail(message);
        return Record::Failed;
    }
    if (head.flag >= 2 && head.flag <= 5) {
        return SkipEvent(head) ? Record::ReadPast : Record::Failed;
    }
    epoch.time = head.time;
    epoch.flag = head.flag;
    epoch.line = epochLine;
    epoch.receiverClockOffset.reset();
    epoch.satellites.clear();
    epoch.otherSystemSatellites = 0;
    kept_.clear();
    if (!ReadSatelliteList(line, head.count, epoch) || !ReadObservations(epoch, head.count)) {
        return Record::Failed;
    }
    if (head.flag == 6) {
        // Cycle slips found after the fact: checked like observations, not measurements to keep.
        ++cycleSlipRecords;
        return Record::ReadPast;
    }
    if (lastTime_ && epoch.time <= *lastTime_) {
        failLine_ = epochLine;
        Fail("the epoch is not later than the one before");
        return Record::Failed;
    }
    lastTime_ = epoch.time;
    return Record::Epoch;
}

// Empty lines (or lines of blanks) may end a file; one with records after it is no part of any
// record.
bool RinexObservationReader::Parser::AtEndAfterBlankLines() {
    const int firstBlank = lines_.LineNumber();
    if (lines_.RestIsBlank()) {
        return true;
    }
    if (lines_.Error().empty()) {
        failLine_ = firstBlank;
    }
    return Fail(
        "an empty line with records after it: only the end of the file may hold empty lines");
}

bool RinexObservationReader::Parser::Next(RinexObservationEpoch& epoch) {
    std::string_view line;
    while (!failed) {
        if (!lines_.Next(line)) {
            return !lines_.Error().empty() && Fail("");
        }
        if (IsBlank(line)) {
            AtEndAfterBlankLines();
            return false;
        }
        switch (ReadRecord(line, epoch)) {
            case Record::Epoch:
                return true;
            case Record::ReadPast:
                break;
            case Record::Failed:
                return false;
        }
    }
    return false;
}

RinexObservationReader::RinexObservationReader(std::istream& in)
    : parser_(std::make_unique<Parser>(in)) {}

RinexObservationReader::~RinexObservationReader() = default;

bool RinexObservationReader::ReadHeader() {
    return parser_->ReadHeader();
}

const RinexObservationHeader& RinexObservationReader::Header() const {
    return parser_->header;
}

bool RinexObservationReader::Next(RinexObservationEpoch& epoch) {
    return parser_->Next(epoch);
}

bool RinexObservationReader::Failed() const {
    return parser_->failed;
}

const RinexError& RinexObservationReader::Error() const {
    return parser_->failure;
}

int RinexObservationReader::EventRecords() const {
    return parser_->eventRecords;
}

int RinexObservationReader::CycleSlipRecords() const {
    return parser_->cycleSlipRecords;
}

std::optional<RinexObservationFile> ReadRinexObservation(std::istream& in, RinexError& error) {
    RinexObservationReader reader(in);
    RinexObservationFile file;
    if (reader.ReadHeader()) {
        file.header = reader.Header();
        RinexObservationEpoch epoch;
        while (reader.Next(epoch)) {
            file.epochs.push_back(std::move(epoch));
        }
    }
    if (reader.Failed()) {
        error = reader.Error();
        return std::nullopt;
    }
    file.eventRecords = reader.EventRecords();
    file.cycleSlipRecords = reader.CycleSlipRecords();
    return file;
}

std::optional<RinexObservationFile> ParseRinexObservation(std::string_view text,
                                                          RinexError& error) {
    RinexTextBuffer buffer(text);
    std::istream in(&buffer);
    return ReadRinexObservation(in, error);
}
