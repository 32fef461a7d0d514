// The decoded form of an SNV body: the first 130 bytes of the body in reversed byte order, followed
// by two filler bytes. Reversing the whole span turns every big-endian field of the wire into a
// little-endian field at the mirrored offset, so on a little-endian host the fields are read in
// place. The orbit computation reads the fields by these offsets and types.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

static_assert(std::endian::native == std::endian::little,
              "records are decoded by reversing big-endian bodies onto a little-endian host");
static_assert(sizeof(float) == 4 && sizeof(double) == 8, "IEEE 754 single and double expected");

#pragma pack(push, 1)
// Aligned to 4 so that the 32-bit fields are; the doubles at offsets 68, 76 and 84 cannot be
// aligned to 8, so the fields are read by value, never bound to references or pointers.
struct alignas(4) EphemerisRecord {
    std::uint8_t notUsed0;       // 0
    std::int8_t prn;             // 1   the satellite's PRN minus one
    std::uint8_t notUsed2[6];    // 2
    float iDot;                  // 8   semicircles/s
    float omegaDot;              // 12  semicircles/s
    double i0;                   // 16  semicircles
    double omega;                // 24  semicircles
    double omega0;               // 32  semicircles
    float cus;                   // 40  rad
    float cuc;                   // 44  rad
    float crs;                   // 48  m
    float cis;                   // 52  rad
    float crc;                   // 56  m
    float cic;                   // 60  rad
    std::int32_t toe;            // 64  s of week
    double rootA;                // 68  m^1/2
    double e;                    // 76
    double m0;                   // 84  semicircles
    float deltaN;                // 92  semicircles/s
    std::uint8_t notUsed96[4];   // 96
    float af0;                   // 100 s
    float af1;                   // 104 s/s
    float af2;                   // 108 s/s^2
    std::int32_t toc;            // 112 s of week
    std::uint8_t notUsed116[4];  // 116
    float tgd;                   // 120 s
    std::uint8_t notUsed124[6];  // 124
    std::uint8_t filler[2];      // 130 not part of the body; zero after decoding
};
#pragma pack(pop)

static_assert(sizeof(EphemerisRecord) == 132);
static_assert(offsetof(EphemerisRecord, prn) == 1);
static_assert(offsetof(EphemerisRecord, iDot) == 8);
static_assert(offsetof(EphemerisRecord, omegaDot) == 12);
static_assert(offsetof(EphemerisRecord, i0) == 16);
static_assert(offsetof(EphemerisRecord, omega) == 24);
static_assert(offsetof(EphemerisRecord, omega0) == 32);
static_assert(offsetof(EphemerisRecord, cus) == 40);
static_assert(offsetof(EphemerisRecord, cuc) == 44);
static_assert(offsetof(EphemerisRecord, crs) == 48);
static_assert(offsetof(EphemerisRecord, cis) == 52);
static_assert(offsetof(EphemerisRecord, crc) == 56);
static_assert(offsetof(EphemerisRecord, cic) == 60);
static_assert(offsetof(EphemerisRecord, toe) == 64);
static_assert(offsetof(EphemerisRecord, rootA) == 68);
static_assert(offsetof(EphemerisRecord, e) == 76);
static_assert(offsetof(EphemerisRecord, m0) == 84);
static_assert(offsetof(EphemerisRecord, deltaN) == 92);
static_assert(offsetof(EphemerisRecord, af0) == 100);
static_assert(offsetof(EphemerisRecord, af1) == 104);
static_assert(offsetof(EphemerisRecord, af2) == 108);
static_assert(offsetof(EphemerisRecord, toc) == 112);
static_assert(offsetof(EphemerisRecord, tgd) == 120);
static_assert(offsetof(EphemerisRecord, filler) == 130);
