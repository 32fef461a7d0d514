#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "records/record_decoders.hpp"
#include "tools/sim/builtin_constellation.hpp"
#include "tools/sim/fault_injector.hpp"
#include "tools/sim/scenario.hpp"

namespace {

// A minute of records of the built-in constellation.
std::vector<EpochPlan> Minute() {
    static BuiltinConstellation c;
    Scenario s(c, MakeReceiverSite(50.0, 10.0, 300.0), 345600000, 60);
    std::vector<EpochPlan> plans;
    for (int k = 0; k < 60; ++k) {
        plans.push_back(s.Next());
    }
    return plans;
}

struct Outcome {
    std::vector<WirePiece> pieces;
    std::size_t records = 0;
    bool hungUp = false;
    std::string Wire() const {
        std::string all;
        for (const WirePiece& p : pieces) {
            all.append(p.bytes.begin(), p.bytes.end());
        }
        return all;
    }
};

Outcome Inject(const FaultOptions& faults) {
    static const std::vector<EpochPlan> plans = Minute();
    FaultInjector injector(faults);
    Outcome out;
    for (const EpochPlan& plan : plans) {
        for (const PlannedRecord& r : plan.records) {
            if (!injector.Apply(r, out.pieces)) {
                out.hungUp = true;
                return out;
            }
            ++out.records;
        }
    }
    return out;
}

std::size_t CountPrefixes(std::string_view wire) {
    std::size_t n = 0;
    for (std::size_t at = wire.find("$PASHR"); at != std::string_view::npos;
         at = wire.find("$PASHR", at + 1)) {
        ++n;
    }
    return n;
}

TEST(FaultInjector, WithoutFaultsEveryRecordIsFramedLoggedAndProcessed) {
    const Outcome o = Inject({});
    ASSERT_EQ(o.pieces.size(), o.records);
    for (const WirePiece& p : o.pieces) {
        ASSERT_NE(p.processed, nullptr);
        const PlannedRecord& r = *p.processed;
        EXPECT_EQ(p.bytes.size(), r.FramedLength());
        EXPECT_EQ(std::string(p.bytes.begin(), p.bytes.begin() + 11),
                  "$PASHR," + std::string(r.kind->tag));
        EXPECT_EQ(p.logEntry.size(), 4 + r.kind->bodyLength);
        EXPECT_TRUE(std::equal(r.Body().begin(), r.Body().end(), p.logEntry.begin() + 4));
        EXPECT_EQ(p.pauseAfterMs, 0);
    }
    EXPECT_EQ(CountPrefixes(o.Wire()), o.records);
}

TEST(FaultInjector, JunkNeverFormsAPrefixButEndsInHalfOfOne) {
    FaultOptions f;
    f.junkEvery = 1;
    const Outcome o = Inject(f);
    EXPECT_EQ(CountPrefixes(o.Wire()), o.records);
    int partial = 0;
    for (const WirePiece& p : o.pieces) {
        if (p.processed == nullptr) {
            EXPECT_TRUE(p.logEntry.empty());
            const std::string junk(p.bytes.begin(), p.bytes.end());
            partial += junk.ends_with("$PASH");
        }
    }
    EXPECT_GT(partial, 10);
}

TEST(FaultInjector, WrongTrailersAreLoggedAsSentButNotProcessed) {
    FaultOptions f;
    f.badTrailerEvery = 3;
    const Outcome o = Inject(f);
    int variants[3] = {0, 0, 0};
    std::size_t index = 0;
    for (const WirePiece& p : o.pieces) {
        ++index;
        const bool faulty = index % 3 == 0;
        EXPECT_EQ(p.processed == nullptr, faulty);
        ASSERT_FALSE(p.logEntry.empty());
        const std::uint8_t cr = p.logEntry[p.logEntry.size() - 2];
        const std::uint8_t lf = p.logEntry.back();
        EXPECT_EQ(cr == 0x0D && lf == 0x0A, !faulty);
        if (faulty) {
            variants[(cr != 0x0D) + 2 * (lf != 0x0A) - 1]++;
        }
        // The body on the line and in the log are the same bytes.
        EXPECT_TRUE(std::equal(p.logEntry.begin() + 4, p.logEntry.end(), p.bytes.begin() + 11));
    }
    EXPECT_GT(variants[0], 0);  // CR wrong only
    EXPECT_GT(variants[1], 0);  // LF wrong only
    EXPECT_GT(variants[2], 0);  // both
}

TEST(FaultInjector, SplitRecordsPauseLongerThanTheToolWaitsAndAreLost) {
    FaultOptions f;
    f.splitEvery = 4;
    const Outcome o = Inject(f);
    std::size_t splits = 0;
    bool inHeader = false;
    bool inBody = false;
    for (std::size_t i = 0; i < o.pieces.size(); ++i) {
        const WirePiece& p = o.pieces[i];
        if (p.pauseAfterMs == 0) {
            continue;
        }
        ++splits;
        EXPECT_GT(p.pauseAfterMs, 50);
        EXPECT_TRUE(p.logEntry.empty());
        EXPECT_EQ(p.processed, nullptr);
        ASSERT_LT(i + 1, o.pieces.size());
        const WirePiece& tail = o.pieces[i + 1];
        EXPECT_TRUE(tail.logEntry.empty());
        EXPECT_EQ(tail.processed, nullptr);
        inHeader |= p.bytes.size() < 11;
        inBody |= p.bytes.size() > 11;
    }
    EXPECT_EQ(splits, o.records / 4);
    EXPECT_TRUE(inHeader);
    EXPECT_TRUE(inBody);
    EXPECT_EQ(CountPrefixes(o.Wire()), o.records);
}

TEST(FaultInjector, ExtraRecordsOfUnknownKindsAndForNoSlot) {
    FaultOptions f;
    f.unknownKindEvery = 10;
    f.badSlotEvery = 7;
    const Outcome o = Inject(f);
    const std::size_t unknown = o.records / 10;
    const std::size_t noSlot = o.records / 7;
    EXPECT_EQ(CountPrefixes(o.Wire()), o.records + unknown + noSlot);
    std::size_t unknownSeen = 0;
    std::size_t snv = 0;
    std::size_t mpc = 0;
    for (const WirePiece& p : o.pieces) {
        if (p.processed != nullptr) {
            continue;
        }
        const std::string text(p.bytes.begin(), p.bytes.end());
        if (text.starts_with("$PASHR,XYZ,")) {
            ++unknownSeen;
            EXPECT_TRUE(p.logEntry.empty());
        } else if (text.starts_with("$PASHR,SNV,")) {
            ++snv;
            const DecodedEphemeris d =
                DecodeEphemeris(std::span<const std::uint8_t, 134>(p.logEntry.data() + 4, 134));
            EXPECT_FALSE(NamesSlot(d.slot));
        } else if (text.starts_with("$PASHR,MPC,")) {
            ++mpc;
            const MeasurementRecord m =
                DecodeMeasurement(std::span<const std::uint8_t, 97>(p.logEntry.data() + 4, 97));
            EXPECT_FALSE(NamesSlot(m.prn));
        }
    }
    EXPECT_EQ(unknownSeen, unknown);
    EXPECT_EQ(snv + mpc, noSlot);
    EXPECT_GT(snv, 0u);
    EXPECT_GT(mpc, 0u);
}

TEST(FaultInjector, HangsUpAfterTheGivenRecord) {
    FaultOptions f;
    f.hangupAfter = 25;
    const Outcome o = Inject(f);
    EXPECT_TRUE(o.hungUp);
    EXPECT_EQ(o.records, 25u);
    EXPECT_EQ(o.pieces.size(), 25u);
}

}  // namespace
