// Decoding of received bodies, checked against byte vectors written out by hand (independent of
// the encoder), and the encoder checked against the decoder over real ephemerides.
#include <array>
#include <cstring>

#include <gtest/gtest.h>

#include "records/record_decoders.hpp"
#include "records/record_encoder.hpp"
#include "tests/support/ephemeris_field.hpp"
#include "tests/support/reference_data.hpp"

namespace {

template <std::size_t N>
std::array<std::uint8_t, N> BodyWithTrailer() {
    std::array<std::uint8_t, N> body{};
    body[N - 2] = 0x0D;
    body[N - 1] = 0x0A;
    return body;
}

TEST(ReverseBody, MirrorsTheWholeSpan) {
    const std::uint8_t body[] = {1, 2, 3, 4, 5};
    std::uint8_t out[5] = {};
    ReverseBody(body, 5, out);
    EXPECT_EQ((std::array<std::uint8_t, 5>{5, 4, 3, 2, 1}),
              (std::array<std::uint8_t, 5>{out[0], out[1], out[2], out[3], out[4]}));
}

TEST(DecodeEphemeris, ToeBytesLandMirroredAtRecordOffset64) {
    auto body = BodyWithTrailer<134>();
    body[62] = 0x00;
    body[63] = 0x05;
    body[64] = 0x46;
    body[65] = 0x00;
    const DecodedEphemeris d = DecodeEphemeris(body);
    EXPECT_EQ(+d.record.toe, 345600);
    std::uint8_t raw[sizeof(EphemerisRecord)];
    std::memcpy(raw, &d.record, sizeof raw);
    EXPECT_EQ(raw[64], 0x00);
    EXPECT_EQ(raw[65], 0x46);
    EXPECT_EQ(raw[66], 0x05);
    EXPECT_EQ(raw[67], 0x00);
    EXPECT_EQ(raw[130], 0);  // filler
    EXPECT_EQ(raw[131], 0);
}

TEST(DecodeEphemeris, PrnByteIsPrnMinusOneAndSigned) {
    auto body = BodyWithTrailer<134>();
    body[128] = 0x04;
    EXPECT_EQ(DecodeEphemeris(body).slot, 5);
    body[128] = 0x00;
    EXPECT_EQ(DecodeEphemeris(body).slot, 1);
    body[128] = 0xFF;
    EXPECT_EQ(DecodeEphemeris(body).slot, 0);
    body[128] = 0x80;  // -128: names no slot
    EXPECT_FALSE(NamesSlot(DecodeEphemeris(body).slot));
    body[128] = 36;  // PRN 37: one past the tables
    EXPECT_FALSE(NamesSlot(DecodeEphemeris(body).slot));
}

TEST(DecodeEphemeris, DoubleFieldFromBigEndianBytes) {
    // rootA 5153.59739113 as a big-endian double at body offset 54.
    auto body = BodyWithTrailer<134>();
    const double rootA = 5153.59739113;
    std::uint64_t bits;
    std::memcpy(&bits, &rootA, 8);
    for (int k = 0; k < 8; ++k) {
        body[54 + k] = static_cast<std::uint8_t>(bits >> (56 - 8 * k));
    }
    EXPECT_EQ(+DecodeEphemeris(body).record.rootA, rootA);
}

TEST(DecodeEphemeris, ChecksumAndUnusedBytesDoNotReachAnyField) {
    EphemerisRecord eph{};
    eph.prn = 4;
    eph.iDot = 1e-10f;
    eph.toe = 345600;
    eph.rootA = 5153.6;
    eph.e = 0.01;
    eph.toc = 345600;
    eph.tgd = 2e-9f;
    auto body = EncodeEphemerisBody(eph);
    const DecodedEphemeris before = DecodeEphemeris(body);
    for (std::size_t k : {0u, 5u, 10u, 13u, 30u, 33u, 122u, 127u, 129u, 130u, 131u, 132u, 133u}) {
        body[k] ^= 0xA5;
    }
    const DecodedEphemeris after = DecodeEphemeris(body);
    EXPECT_EQ(after.slot, before.slot);
    ExpectSameEphemeris(after.record, before.record);
}

TEST(DecodeMeasurement, FieldsFromTheirOffsets) {
    auto body = BodyWithTrailer<97>();
    body[3] = 0x05;
    body[7] = 0x02;
    const std::uint8_t rawRange[] = {0x3F, 0xB2, 0x3A, 0x29, 0xC7, 0x79, 0xA6, 0xB5};
    std::memcpy(&body[20], rawRange, 8);
    const MeasurementRecord m = DecodeMeasurement(body);
    EXPECT_EQ(m.prn, 5);
    EXPECT_EQ(m.status, 2);
    EXPECT_EQ(m.rawRange, 0.0712);
    EXPECT_EQ(m.fullPhase, 0.0);
}

TEST(DecodeMeasurement, UnusedBytesAndTrailerDoNotReachAnyField) {
    const MeasurementRecord in{7, 1, -12345.678, 0.0678};
    auto body = EncodeMeasurementBody(in);
    for (std::size_t k : {0u, 2u, 4u, 6u, 8u, 11u, 28u, 60u, 94u, 95u, 96u}) {
        body[k] = 0xEE;
    }
    const MeasurementRecord m = DecodeMeasurement(body);
    EXPECT_EQ(m.prn, in.prn);
    EXPECT_EQ(m.status, in.status);
    EXPECT_EQ(m.fullPhase, in.fullPhase);
    EXPECT_EQ(m.rawRange, in.rawRange);
}

TEST(DecodeEpochTime, SignedMillisecondsOfWeek) {
    auto body = BodyWithTrailer<58>();
    body[0] = 0x14;
    body[1] = 0x99;
    body[2] = 0x70;
    body[3] = 0x00;
    EXPECT_EQ(DecodeEpochTime(body), 345600000);
    body[0] = 0xFF;
    body[1] = 0xFF;
    body[2] = 0xFC;
    body[3] = 0x18;
    EXPECT_EQ(DecodeEpochTime(body), -1000);
    body[4] = 0x55;  // not used
    body[55] = 0x55;
    EXPECT_EQ(DecodeEpochTime(body), -1000);
}

TEST(RecordEncoder, WritesBigEndianAtTheBodyOffsets) {
    const PbnBody pbn = EncodeEpochTimeBody(345600000);
    EXPECT_EQ(pbn[0], 0x14);
    EXPECT_EQ(pbn[1], 0x99);
    EXPECT_EQ(pbn[2], 0x70);
    EXPECT_EQ(pbn[3], 0x00);
    EXPECT_EQ(pbn[56], 0x0D);
    EXPECT_EQ(pbn[57], 0x0A);
    const MpcBody mpc = EncodeMeasurementBody({5, 1, 0.0, 0.0712});
    const std::uint8_t rawRange[] = {0x3F, 0xB2, 0x3A, 0x29, 0xC7, 0x79, 0xA6, 0xB5};
    EXPECT_EQ(0, std::memcmp(&mpc[20], rawRange, 8));
    EXPECT_EQ(mpc[3], 5);
    EXPECT_EQ(mpc[7], 1);
    EphemerisRecord eph{};
    eph.prn = 4;
    eph.toe = 345600;
    const SnvBody snv = EncodeEphemerisBody(eph);
    EXPECT_EQ(snv[128], 4);
    EXPECT_EQ((std::array<std::uint8_t, 4>{snv[62], snv[63], snv[64], snv[65]}),
              (std::array<std::uint8_t, 4>{0x00, 0x05, 0x46, 0x00}));
}

TEST(RecordEncoder, RealEphemeridesSurviveTheWire) {
    SATLOG_REQUIRE_REFERENCE("oracle-ephemerides.csv");
    for (const OracleEphemeris& o : LoadOracleEphemerides()) {
        const DecodedEphemeris d = DecodeEphemeris(EncodeEphemerisBody(o.record));
        EXPECT_EQ(d.slot, o.prn);
        // Every byte of the record, the unused ones and the filler included (all zero).
        EXPECT_EQ(0, std::memcmp(&d.record, &o.record, sizeof(EphemerisRecord))) << o.prn;
    }
}

TEST(HasRecordTrailer, BothBytesMustBeRight) {
    const std::uint8_t good[] = {1, 2, 0x0D, 0x0A};
    const std::uint8_t badCr[] = {1, 2, 0x0E, 0x0A};
    const std::uint8_t badLf[] = {1, 2, 0x0D, 0x0B};
    const std::uint8_t both[] = {1, 2, 0x00, 0x00};
    EXPECT_TRUE(HasRecordTrailer(good));
    EXPECT_FALSE(HasRecordTrailer(badCr));
    EXPECT_FALSE(HasRecordTrailer(badLf));
    EXPECT_FALSE(HasRecordTrailer(both));
}

}  // namespace

namespace {

TEST(RecordLayout, KindsFoundByTagAreTheLayoutConstants) {
    EXPECT_EQ(FindRecordKind("SNV,"), &kSnvLayout);
    EXPECT_EQ(FindRecordKind("MPC,"), &kMpcLayout);
    EXPECT_EQ(FindRecordKind("PBN,"), &kPbnLayout);
    EXPECT_EQ(FindRecordKind("SNV;"), nullptr);
    EXPECT_EQ(FindRecordKind("snv,"), nullptr);
}

}  // namespace
