// Raw logs written entry by entry, as satlog would have recorded them: for tests of everything
// that reads a log.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <vector>

#include "records/record_encoder.hpp"

class RawLogBuilder {
  public:
    RawLogBuilder& Ephemeris(const EphemerisRecord& record, bool goodTrailer = true) {
        return Add(kSnvLayout, EncodeEphemerisBody(record), goodTrailer);
    }
    RawLogBuilder& Measurement(int prn, int status, double rawRange, bool goodTrailer = true,
                               double fullPhase = 0.0) {
        MeasurementRecord m{};
        m.prn = static_cast<std::uint8_t>(prn);
        m.status = static_cast<std::uint8_t>(status);
        m.rawRange = rawRange;
        m.fullPhase = fullPhase;
        return Add(kMpcLayout, EncodeMeasurementBody(m), goodTrailer);
    }
    RawLogBuilder& Epoch(std::int32_t timeMs, bool goodTrailer = true) {
        return Add(kPbnLayout, EncodeEpochTimeBody(timeMs), goodTrailer);
    }
    // An epoch as the receiver sends it: a usable measurement of each satellite, then the PBN.
    RawLogBuilder& MeasuredEpoch(std::int32_t timeMs, std::span<const int> prns,
                                 double rawRange = 0.07) {
        for (const int prn : prns) {
            Measurement(prn, 1, rawRange + prn * 1e-4);
        }
        return Epoch(timeMs);
    }
    // Bytes that are no entry at all.
    RawLogBuilder& Raw(std::initializer_list<std::uint8_t> bytes) {
        bytes_.insert(bytes_.end(), bytes);
        return *this;
    }

    // Byte offset of the next entry.
    std::uint64_t Size() const { return bytes_.size(); }
    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

    // Writes the log into `file` and rewinds it for reading.
    void WriteTo(std::FILE* file) const {
        std::fwrite(bytes_.data(), 1, bytes_.size(), file);
        std::fflush(file);
        std::rewind(file);
    }

  private:
    template <typename Body>
    RawLogBuilder& Add(const RecordKindLayout& kind, Body body, bool goodTrailer) {
        if (!goodTrailer) {
            body[body.size() - 1] = 'X';  // CR X instead of CR LF
        }
        AppendLogEntry(bytes_, kind, body);
        return *this;
    }

    std::vector<std::uint8_t> bytes_;
};
