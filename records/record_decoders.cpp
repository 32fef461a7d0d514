#include "records/record_decoders.hpp"

#include <array>
#include <cstring>

namespace {

// Reads a little-endian value of type T at `offset` of the reversed body.
template <typename T>
T ReadReversed(const std::uint8_t* reversed, std::size_t offset) {
    T value;
    std::memcpy(&value, reversed + offset, sizeof value);
    return value;
}

// Offset in the reversed body of a field at `bodyOffset` of width `width` on the wire.
constexpr std::size_t Mirrored(std::size_t span, std::size_t bodyOffset, std::size_t width) {
    return span - bodyOffset - width;
}

}  // namespace

void ReverseBody(const std::uint8_t* body, std::size_t n, std::uint8_t* out) {
    for (std::size_t k = 0; k < n; ++k) {
        out[n - 1 - k] = body[k];
    }
}

DecodedEphemeris DecodeEphemeris(std::span<const std::uint8_t, 134> body) {
    static_assert(kSnvLayout.decodedSpan + 2 == sizeof(EphemerisRecord));
    std::array<std::uint8_t, sizeof(EphemerisRecord)> reversed{};  // filler bytes stay zero
    ReverseBody(body.data(), kSnvLayout.decodedSpan, reversed.data());
    DecodedEphemeris decoded{};
    std::memcpy(&decoded.record, reversed.data(), sizeof decoded.record);
    decoded.slot = decoded.record.prn + 1;
    return decoded;
}

MeasurementRecord DecodeMeasurement(std::span<const std::uint8_t, 97> body) {
    constexpr std::size_t n = kMpcLayout.decodedSpan;
    std::array<std::uint8_t, n> r;
    ReverseBody(body.data(), n, r.data());
    MeasurementRecord m{};
    m.prn = ReadReversed<std::uint8_t>(r.data(), Mirrored(n, mpc::prn, 1));
    m.status = ReadReversed<std::uint8_t>(r.data(), Mirrored(n, mpc::status, 1));
    m.fullPhase = ReadReversed<double>(r.data(), Mirrored(n, mpc::fullPhase, 8));
    m.rawRange = ReadReversed<double>(r.data(), Mirrored(n, mpc::rawRange, 8));
    return m;
}

std::int32_t DecodeEpochTime(std::span<const std::uint8_t, 58> body) {
    constexpr std::size_t n = kPbnLayout.decodedSpan;
    std::array<std::uint8_t, n> r;
    ReverseBody(body.data(), n, r.data());
    return ReadReversed<std::int32_t>(r.data(), Mirrored(n, pbn::timeMs, 4));
}

bool HasRecordTrailer(std::span<const std::uint8_t> body) {
    const std::size_t n = body.size();
    return n >= 2 && body[n - 2] == framing::kCr && body[n - 1] == framing::kLf;
}
