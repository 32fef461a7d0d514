#include "tools/dump/rinex_export.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <system_error>

#include "formats/rinex/rinex_navigation_writer.hpp"
#include "formats/rinex/rinex_time.hpp"
#include "gnss/physical_constants.hpp"
#include "records/terminal_text.hpp"
#include "tools/dump/whole_file.hpp"

namespace {

// The fields a navigation record writes; the record's unused bytes may differ between copies of
// the same ephemeris and do not make it another one.
bool SameWrittenFields(const EphemerisRecord& a, const EphemerisRecord& b) {
    auto bits = [](const auto& v) {
        std::uint64_t out = 0;
        std::memcpy(&out, &v, sizeof v);
        return out;
    };
    return a.prn == b.prn && a.toe == b.toe && a.toc == b.toc && bits(+a.iDot) == bits(+b.iDot) &&
           bits(+a.omegaDot) == bits(+b.omegaDot) && bits(+a.i0) == bits(+b.i0) &&
           bits(+a.omega) == bits(+b.omega) && bits(+a.omega0) == bits(+b.omega0) &&
           bits(+a.cus) == bits(+b.cus) && bits(+a.cuc) == bits(+b.cuc) &&
           bits(+a.crs) == bits(+b.crs) && bits(+a.cis) == bits(+b.cis) &&
           bits(+a.crc) == bits(+b.crc) && bits(+a.cic) == bits(+b.cic) &&
           bits(+a.rootA) == bits(+b.rootA) && bits(+a.e) == bits(+b.e) &&
           bits(+a.m0) == bits(+b.m0) && bits(+a.deltaN) == bits(+b.deltaN) &&
           bits(+a.af0) == bits(+b.af0) && bits(+a.af1) == bits(+b.af1) &&
           bits(+a.af2) == bits(+b.af2) && bits(+a.tgd) == bits(+b.tgd);
}

constexpr std::size_t kWriteChunk = 1 << 16;

}  // namespace

bool RinexExportCollector::IsNew(const EphemerisRecord& record) const {
    return std::none_of(ephemerides_.begin(), ephemerides_.end(), [&](const ExportEphemeris& e) {
        return SameWrittenFields(e.record, record);
    });
}

void RinexExportCollector::Ephemeris(const LogEphemeris& e) {
    // As the tables see it: a record with a bad trailer or naming no satellite is not used.
    if (!e.trailerGood || e.slot < 1 || e.slot >= kSlotCount || !IsNew(e.record)) {
        return;
    }
    ephemerides_.push_back({e.record, e.offset, {}});
}

void RinexExportCollector::Epoch(const LogEpoch& e) {
    lastEpoch_ = e.time;
    // The ephemerides whose SNV came before this epoch's PBN (the walk may hand an epoch on after
    // the entries that followed it).
    for (; pending_ < ephemerides_.size() && ephemerides_[pending_].offset < e.offset; ++pending_) {
        ephemerides_[pending_].received = e.time;
    }

    // An observation file is in time order: an epoch not later than the one before (a repeated
    // PBN entry, two recordings one after the other) is left out.
    if (!e.inSequence) {
        ++outOfOrderEpochs_;
    } else {
        const auto first = static_cast<std::uint32_t>(ranges_.size());
        // Every usable measurement, whether or not its satellite's ephemeris has come yet: the
        // observation file holds what the receiver measured; a user of the file brings orbits.
        for (const MeasuredSatellite& m : e.measured) {
            const ObservedRange range{m.prn, kSpeedOfLight * m.rawRange};
            if (IsWritableRange(range)) {
                ranges_.push_back(range);
            } else {
                ++unwritableRanges_;
            }
        }
        const auto count = static_cast<std::uint32_t>(ranges_.size()) - first;
        if (count > 0) {
            epochs_.push_back({e.time, first, count});
        }
    }
    // The approximate position needs no fix of every epoch (MedianFix keeps a bounded sample).
    fixes_.Add(e);
}

void RinexExportCollector::Finish() {
    if (!lastEpoch_) {
        return;  // no epoch: the ephemerides have no time to belong to
    }
    for (; pending_ < ephemerides_.size(); ++pending_) {
        ephemerides_[pending_].received = *lastEpoch_;
    }
}

double RinexExportCollector::Interval() const {
    std::map<GpsDuration, std::size_t> spacings;
    for (std::size_t k = 1; k < epochs_.size(); ++k) {
        const GpsDuration spacing = epochs_[k].time - epochs_[k - 1].time;
        if (spacing > GpsDuration::zero()) {
            ++spacings[spacing];
        }
    }
    GpsDuration best{};
    std::size_t bestCount = 0;
    for (const auto& [spacing, n] : spacings) {
        if (n > bestCount) {
            best = spacing;
            bestCount = n;
        }
    }
    return Seconds(best);
}

namespace {

using ExportEpoch = RinexExportCollector::ExportEpoch;

// RINEX 2 writes two-digit years, 1980 to 2079: an epoch outside them (a corrupt time in the log,
// an absurd --week) cannot be written.
struct EpochDates {
    GpsDuration firstWeek;  // the full weeks before the log's first
    GpsTime Of(const ExportEpoch& e) const { return e.time + firstWeek; }
    bool Writable(const ExportEpoch& e) const { return IsRinexEpoch(Of(e)); }
};

RinexObservationHeaderValues ObservationHeader(const RinexExportCollector& log,
                                               const RinexExportRequest& request, GpsTime first,
                                               GpsTime last) {
    RinexObservationHeaderValues header;
    header.run = request.run;
    header.markerName = request.station;
    std::transform(header.markerName.begin(), header.markerName.end(), header.markerName.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (const auto fix = log.MedianPosition()) {
        header.haveApproxPosition = true;
        header.approxX = fix->x;
        header.approxY = fix->y;
        header.approxZ = fix->z;
    }
    header.firstEpoch = first;
    header.lastEpoch = last;
    header.interval = log.Interval();
    header.comments = request.comments;
    return header;
}

// The observation file's epochs, written in chunks as they are formatted.
void WriteObservations(WholeFile& file, std::string text, const RinexExportCollector& log,
                       const EpochDates& dates, RinexExportResult& result) {
    const auto& ranges = log.Ranges();
    for (const ExportEpoch& e : log.Epochs()) {
        if (!dates.Writable(e)) {
            ++result.unwritableEpochs;
            continue;
        }
        AppendRinexObservationEpoch(text, dates.Of(e),
                                    std::span(ranges).subspan(e.firstRange, e.rangeCount));
        if (text.size() >= kWriteChunk) {
            file.Write(text);
        }
    }
    file.Write(text);
}

std::string FormatNavigation(const RinexExportCollector& log, const RinexExportRequest& request,
                             RinexExportResult& result) {
    std::string text = FormatRinexNavigationHeader(request.run, request.ionosphere);
    const GpsDuration firstWeek = kGpsWeek * request.firstWeek;
    for (const auto& e : log.Ephemerides()) {
        const GpsTime received = e.received + firstWeek;
        const int toeWeek =
            NearestWithTimeOfWeek(received, std::chrono::seconds(e.record.toe)).Week();
        const int tocWeek =
            NearestWithTimeOfWeek(received, std::chrono::seconds(e.record.toc)).Week();
        // The receive time counted in the toe week, as the format asks.
        const double transmission = Seconds(received - GpsTime::FromWeek(toeWeek, {}));
        if (!AppendRinexNavigationRecord(text, e.record, toeWeek, tocWeek, transmission)) {
            ++result.unwritableEphemerides;
        }
    }
    return text;
}

}  // namespace

RinexExportResult WriteRinexFiles(const RinexExportCollector& log,
                                  const RinexExportRequest& request) {
    RinexExportResult result;
    const auto& epochs = log.Epochs();
    const EpochDates dates{kGpsWeek * request.firstWeek};
    const auto writable = [&](const ExportEpoch& e) { return dates.Writable(e); };
    const auto first = std::find_if(epochs.begin(), epochs.end(), writable);
    if (first == epochs.end()) {
        result.problem = epochs.empty()
                             ? "no epoch with a usable measurement: nothing to export"
                             : "no epoch falls in the years 1980 to 2079 that RINEX 2 can write";
        return result;
    }
    const GpsTime firstTime = dates.Of(*first);
    const CalendarTime firstDate = firstTime.Calendar();
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%03d0.%02d", firstDate.DayOfYear(), firstDate.year % 100);
    const std::filesystem::path base =
        std::filesystem::path(request.directory) / (request.station + suffix);
    result.observationPath = base.string() + "o";
    result.navigationPath = base.string() + "n";
    for (const std::string& path : {result.observationPath, result.navigationPath}) {
        if (NamesTheSameFile(path, request.logPath)) {
            result.problem =
                EscapeForTerminal(path) + " is the raw log being exported: not written over";
            return result;
        }
    }

    // Both files are written before either is put in place.
    WholeFile obs(result.observationPath);
    WholeFile nav(result.navigationPath);
    if (!obs.Open(result.problem) || !nav.Open(result.problem)) {
        return result;
    }
    const GpsTime lastTime = dates.Of(*std::find_if(epochs.rbegin(), epochs.rend(), writable));
    WriteObservations(
        obs, FormatRinexObservationHeader(ObservationHeader(log, request, firstTime, lastTime)),
        log, dates, result);
    std::string navigation = FormatNavigation(log, request, result);
    nav.Write(navigation);
    WholeFile* const pair[] = {&obs, &nav};
    result.ok = obs.Finish(result.problem) && nav.Finish(result.problem) &&
                CommitWholeFiles(pair, result.problem);
    return result;
}
