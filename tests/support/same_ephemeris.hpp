// Field-by-field equality of two ephemerides, each field at the type the receiver's record carries
// it (single-precision fields compared as floats, the rest exactly).
#pragma once

#include <gtest/gtest.h>

#include "orbit/ephemeris_record.hpp"

inline void ExpectSameEphemeris(const EphemerisRecord& a, const EphemerisRecord& b) {
    SCOPED_TRACE(testing::Message() << "PRN " << a.prn + 1 << " toe " << a.toe);
#define SATLOG_SAME_FIELD(f) EXPECT_EQ(+a.f, +b.f) << #f
    SATLOG_SAME_FIELD(prn);
    SATLOG_SAME_FIELD(iDot);
    SATLOG_SAME_FIELD(omegaDot);
    SATLOG_SAME_FIELD(i0);
    SATLOG_SAME_FIELD(omega);
    SATLOG_SAME_FIELD(omega0);
    SATLOG_SAME_FIELD(cus);
    SATLOG_SAME_FIELD(cuc);
    SATLOG_SAME_FIELD(crs);
    SATLOG_SAME_FIELD(cis);
    SATLOG_SAME_FIELD(crc);
    SATLOG_SAME_FIELD(cic);
    SATLOG_SAME_FIELD(toe);
    SATLOG_SAME_FIELD(rootA);
    SATLOG_SAME_FIELD(e);
    SATLOG_SAME_FIELD(m0);
    SATLOG_SAME_FIELD(deltaN);
    SATLOG_SAME_FIELD(af0);
    SATLOG_SAME_FIELD(af1);
    SATLOG_SAME_FIELD(af2);
    SATLOG_SAME_FIELD(toc);
    SATLOG_SAME_FIELD(tgd);
#undef SATLOG_SAME_FIELD
}
