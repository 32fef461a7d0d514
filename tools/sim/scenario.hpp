// What the receiver sends, second by second: at every epoch the ephemerides that are due, one
// measurement per satellite above the elevation mask, and the position record that closes the
// epoch. The schedule lives in simulation time only, so a scenario yields the same bytes whether
// it runs in real time, faster, or offline.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "orbit/satellite_position.hpp"
#include "positioning/ionosphere.hpp"
#include "records/record_encoder.hpp"
#include "records/record_layout.hpp"
#include "tools/sim/ephemeris_source.hpp"
#include "tools/sim/receiver_site.hpp"

// What 19,200 bits/s carry in one second: 10 bits per byte with start and stop bit.
inline constexpr std::size_t kLineBytesPerSecond = 1920;
inline constexpr double kElevationMaskDeg = 15.0;  // as the tool's second command asks

// One record as the receiver means to send it, before any fault.
struct PlannedRecord {
    const RecordKindLayout* kind = nullptr;
    std::array<std::uint8_t, kMaxBodyLength> body{};
    int slot = -1;  // the table slot it names; -1 for a position record

    std::span<const std::uint8_t> Body() const { return {body.data(), kind->bodyLength}; }
    std::size_t FramedLength() const {
        return framing::kPrefixLength + framing::kHeaderLength + kind->bodyLength;
    }
};

// The simulated position of one measured satellite, as the tool should compute it.
struct TruthRow {
    std::int32_t timeMs = 0;
    int prn = 0;
    double transmitTime = 0;  // receive time - rawRange
    SatellitePosition position{};
};

struct EpochPlan {
    std::int32_t timeMs = 0;             // receiver time of the epoch, ms of the GPS week
    std::vector<PlannedRecord> records;  // in the order sent
    std::vector<TruthRow> truth;         // one per measurement sent
    std::size_t measurementBytes = 0;    // framed bytes that must go out this second
};

class Scenario {
  public:
    // `startMs`: the first epoch, ms since the start of the simulation's first GPS week. With
    // `ionosphere` (which must outlive the scenario) the ranges carry the broadcast model's delay.
    Scenario(const EphemerisSource& source, const ReceiverSite& site, std::int64_t startMs,
             int snvIntervalSeconds, const KlobucharParameters* ionosphere = nullptr);

    EpochPlan Next();

  private:
    struct Satellite {
        bool visible = false;
        bool queued = false;
        double lastSnvTime = 0;
        std::optional<SnvBody> lastSent;
    };

    const EphemerisSource& source_;
    ReceiverSite site_;
    const KlobucharParameters* ionosphere_;
    std::int64_t nextMs_;
    double snvInterval_;
    std::vector<Satellite> satellites_;  // by PRN
    std::deque<int> snvQueue_;           // PRNs whose ephemeris is due, oldest first
};

// Receiver time in ms of the week of a simulation time in ms.
std::int32_t WeekMilliseconds(std::int64_t simulationMs);
