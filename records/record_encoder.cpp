#include "records/record_encoder.hpp"

#include <bit>
#include <type_traits>

namespace {

// Writes the value's bytes most significant first at `offset`.
template <typename T>
void PutBigEndian(std::uint8_t* body, std::size_t offset, T value) {
    using Bits =
        std::conditional_t<sizeof(T) == 8, std::uint64_t,
                           std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint8_t>>;
    const Bits bits = std::bit_cast<Bits>(value);
    for (std::size_t k = 0; k < sizeof(T); ++k) {
        body[offset + k] = static_cast<std::uint8_t>(bits >> (8 * (sizeof(T) - 1 - k)));
    }
}

template <std::size_t N>
void PutTrailer(std::array<std::uint8_t, N>& body) {
    body[N - 2] = framing::kCr;
    body[N - 1] = framing::kLf;
}

}  // namespace

SnvBody EncodeEphemerisBody(const EphemerisRecord& r) {
    SnvBody body{};
    std::uint8_t* b = body.data();
    PutBigEndian(b, snv::tgd, r.tgd);
    PutBigEndian(b, snv::toc, r.toc);
    PutBigEndian(b, snv::af2, r.af2);
    PutBigEndian(b, snv::af1, r.af1);
    PutBigEndian(b, snv::af0, r.af0);
    PutBigEndian(b, snv::deltaN, r.deltaN);
    PutBigEndian(b, snv::m0, r.m0);
    PutBigEndian(b, snv::e, r.e);
    PutBigEndian(b, snv::rootA, r.rootA);
    PutBigEndian(b, snv::toe, r.toe);
    PutBigEndian(b, snv::cic, r.cic);
    PutBigEndian(b, snv::crc, r.crc);
    PutBigEndian(b, snv::cis, r.cis);
    PutBigEndian(b, snv::crs, r.crs);
    PutBigEndian(b, snv::cuc, r.cuc);
    PutBigEndian(b, snv::cus, r.cus);
    PutBigEndian(b, snv::omega0, r.omega0);
    PutBigEndian(b, snv::omega, r.omega);
    PutBigEndian(b, snv::i0, r.i0);
    PutBigEndian(b, snv::omegaDot, r.omegaDot);
    PutBigEndian(b, snv::iDot, r.iDot);
    PutBigEndian(b, snv::prn, r.prn);

    std::uint16_t sum = 0;
    for (std::size_t k = 0; k < kSnvLayout.decodedSpan; ++k) {
        sum = static_cast<std::uint16_t>(sum + b[k]);
    }
    PutBigEndian(b, snv::checksum, static_cast<std::uint8_t>(sum >> 8));
    PutBigEndian(b, snv::checksum + 1, static_cast<std::uint8_t>(sum & 0xFF));
    PutTrailer(body);
    return body;
}

MpcBody EncodeMeasurementBody(const MeasurementRecord& m) {
    MpcBody body{};
    std::uint8_t* b = body.data();
    PutBigEndian(b, mpc::prn, m.prn);
    PutBigEndian(b, mpc::status, m.status);
    PutBigEndian(b, mpc::fullPhase, m.fullPhase);
    PutBigEndian(b, mpc::rawRange, m.rawRange);
    PutTrailer(body);
    return body;
}

PbnBody EncodeEpochTimeBody(std::int32_t timeMs) {
    PbnBody body{};
    PutBigEndian(body.data(), pbn::timeMs, timeMs);
    PutTrailer(body);
    return body;
}

void AppendFramedRecord(std::vector<std::uint8_t>& out, const RecordKindLayout& kind,
                        std::span<const std::uint8_t> body, std::uint8_t separator) {
    out.insert(out.end(), framing::kPrefix.begin(), framing::kPrefix.end());
    out.push_back(separator);
    out.insert(out.end(), kind.tag.begin(), kind.tag.end());
    out.insert(out.end(), body.begin(), body.end());
}

void AppendLogEntry(std::vector<std::uint8_t>& out, const RecordKindLayout& kind,
                    std::span<const std::uint8_t> body) {
    out.insert(out.end(), kind.tag.begin(), kind.tag.end());
    out.insert(out.end(), body.begin(), body.end());
}
