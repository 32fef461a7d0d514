// Where the receiver puts things: the framing of a response and the body offsets of the three
// record kinds, as they arrive on the wire (big-endian, offsets from the first byte after the
// five-byte header). The decoders, the receive thread, the encoder and the tools all take their
// numbers from here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace framing {
inline constexpr std::string_view kPrefix = "$PASHR";
inline constexpr std::size_t kPrefixLength = 6;
inline constexpr std::size_t kHeaderLength = 5;  // separator byte, then the 4-byte kind tag
inline constexpr std::size_t kTagLength = 4;
inline constexpr std::uint8_t kSeparator = ',';
inline constexpr std::uint8_t kCr = 0x0D;
inline constexpr std::uint8_t kLf = 0x0A;
}  // namespace framing

enum class RecordKind : std::uint8_t { Ephemeris, Measurement, EpochTime };

struct RecordKindLayout {
    RecordKind kind;
    std::string_view tag;     // as in header bytes 1..4 and in the raw log
    std::size_t bodyLength;   // bytes read after the header, trailer included
    std::size_t decodedSpan;  // leading bytes that are byte-reversed for decoding
};

inline constexpr RecordKindLayout kSnvLayout{RecordKind::Ephemeris, "SNV,", 134, 130};
inline constexpr RecordKindLayout kMpcLayout{RecordKind::Measurement, "MPC,", 97, 95};
inline constexpr RecordKindLayout kPbnLayout{RecordKind::EpochTime, "PBN,", 58, 56};

// In the order in which a header is compared against them. Pointers to the constants above, so
// that a kind found by its tag is the very object kSnvLayout, kMpcLayout or kPbnLayout.
inline constexpr const RecordKindLayout* kRecordKinds[] = {&kSnvLayout, &kMpcLayout, &kPbnLayout};

inline constexpr std::size_t kMaxBodyLength = 134;

// Looks up a kind by the four tag bytes; nullptr when they name none of the three.
constexpr const RecordKindLayout* FindRecordKind(std::string_view tag) {
    for (const RecordKindLayout* layout : kRecordKinds) {
        if (layout->tag == tag) {
            return layout;
        }
    }
    return nullptr;
}

// SNV body offsets (wire order).
namespace snv {
inline constexpr std::size_t tgd = 6;
inline constexpr std::size_t toc = 14;
inline constexpr std::size_t af2 = 18;
inline constexpr std::size_t af1 = 22;
inline constexpr std::size_t af0 = 26;
inline constexpr std::size_t deltaN = 34;
inline constexpr std::size_t m0 = 38;
inline constexpr std::size_t e = 46;
inline constexpr std::size_t rootA = 54;
inline constexpr std::size_t toe = 62;
inline constexpr std::size_t cic = 66;
inline constexpr std::size_t crc = 70;
inline constexpr std::size_t cis = 74;
inline constexpr std::size_t crs = 78;
inline constexpr std::size_t cuc = 82;
inline constexpr std::size_t cus = 86;
inline constexpr std::size_t omega0 = 90;
inline constexpr std::size_t omega = 98;
inline constexpr std::size_t i0 = 106;
inline constexpr std::size_t omegaDot = 114;
inline constexpr std::size_t iDot = 118;
inline constexpr std::size_t prn = 128;       // signed: PRN minus one
inline constexpr std::size_t checksum = 130;  // 2 bytes, not verified
}  // namespace snv

// MPC body offsets (wire order).
namespace mpc {
inline constexpr std::size_t prn = 3;  // unsigned: the PRN itself
inline constexpr std::size_t status = 7;
inline constexpr std::size_t fullPhase = 12;
inline constexpr std::size_t rawRange = 20;
}  // namespace mpc

// PBN body offsets (wire order).
namespace pbn {
inline constexpr std::size_t timeMs = 0;
}  // namespace pbn

// The 37 per-satellite slots, indexed by PRN.
inline constexpr int kSlotCount = 37;
