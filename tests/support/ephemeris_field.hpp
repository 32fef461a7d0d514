// The 22 fields of an ephemeris record in one table, and their field-by-field comparison. The
// record is packed, so each field is read by value; a float or integer widens to double exactly,
// so comparing as doubles is comparing each field at the type the receiver's record carries it.
#pragma once

#include <iterator>

#include <gtest/gtest.h>

#include "orbit/ephemeris_record.hpp"

struct EphemerisField {
    const char* name;
    double (*value)(const EphemerisRecord&);
};

// clang-format off
#define SATLOG_FIELD(f) {#f, [](const EphemerisRecord& r) -> double { return r.f; }}
// clang-format on
inline constexpr EphemerisField kEphemerisFields[] = {
    SATLOG_FIELD(prn),    SATLOG_FIELD(iDot),   SATLOG_FIELD(omegaDot), SATLOG_FIELD(i0),
    SATLOG_FIELD(omega),  SATLOG_FIELD(omega0), SATLOG_FIELD(cus),      SATLOG_FIELD(cuc),
    SATLOG_FIELD(crs),    SATLOG_FIELD(cis),    SATLOG_FIELD(crc),      SATLOG_FIELD(cic),
    SATLOG_FIELD(toe),    SATLOG_FIELD(rootA),  SATLOG_FIELD(e),        SATLOG_FIELD(m0),
    SATLOG_FIELD(deltaN), SATLOG_FIELD(af0),    SATLOG_FIELD(af1),      SATLOG_FIELD(af2),
    SATLOG_FIELD(toc),    SATLOG_FIELD(tgd)};
static_assert(std::size(kEphemerisFields) == 22);
#undef SATLOG_FIELD

inline void ExpectSameEphemeris(const EphemerisRecord& a, const EphemerisRecord& b) {
    SCOPED_TRACE(testing::Message() << "PRN " << a.prn + 1 << " toe " << a.toe);
    for (const EphemerisField& field : kEphemerisFields) {
        EXPECT_EQ(field.value(a), field.value(b)) << field.name;
    }
}
