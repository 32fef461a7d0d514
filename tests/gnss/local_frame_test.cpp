// The local east-north-up frame against directions worked out by hand.
#include <gtest/gtest.h>

#include <cmath>

#include "gnss/geodesy.hpp"
#include "gnss/local_frame.hpp"

namespace {

void ExpectEnu(const Enu& v, double east, double north, double up) {
    EXPECT_NEAR(v.east, east, 1e-12);
    EXPECT_NEAR(v.north, north, 1e-12);
    EXPECT_NEAR(v.up, up, 1e-12);
}

TEST(LocalFrame, AxesWhereTheyPointAndUnitLength) {
    // On the equator at the prime meridian the earth-fixed axes are up (x), east (y), north (z).
    const LocalFrame origin({0.0, 0.0, 0.0});
    ExpectEnu(origin.FromEcef({1, 0, 0}), 0, 0, 1);
    ExpectEnu(origin.FromEcef({0, 1, 0}), 1, 0, 0);
    ExpectEnu(origin.FromEcef({0, 0, 1}), 0, 1, 0);
    // At 45 N, 90 E: east is -x; north and up split y and z evenly.
    const LocalFrame there({45.0, 90.0, 1000.0});
    const double h = std::sqrt(0.5);
    ExpectEnu(there.FromEcef({-1, 0, 0}), 1, 0, 0);
    ExpectEnu(there.FromEcef({0, -h, h}), 0, 1, 0);
    ExpectEnu(there.FromEcef({0, h, h}), 0, 0, 1);
    // The axes the covariances are turned with are the rows of the same rotation.
    for (const Ecef& axis : {there.East(), there.North(), there.Up()}) {
        EXPECT_NEAR(std::hypot(axis.x, axis.y, axis.z), 1.0, 1e-15);
        const Enu v = there.FromEcef(axis);
        EXPECT_NEAR(std::hypot(v.east, v.north, v.up), 1.0, 1e-15);
    }
    // A point 100 m up the ellipsoid's normal is straight up, by the geodetic conversion too.
    const Geodetic site{-33.9, 18.4, 50.0};
    const Enu up =
        LocalFrame(site).FromEcef(GeodeticToEcef({-33.9, 18.4, 150.0}) - GeodeticToEcef(site));
    EXPECT_NEAR(up.up, 100.0, 1e-6);
    EXPECT_NEAR(std::hypot(up.east, up.north), 0.0, 1e-6);
}

}  // namespace
