// The EGM96 geoid of the track formats' heights against PROJ's cs2cs at places around the earth.
#include <gtest/gtest.h>

#include <cmath>

#include "gnss/geoid/egm96_geoid.hpp"

namespace {

// Geoid heights from `cs2cs EPSG:4979 EPSG:4326+5773` (PROJ 9.1, egm96_15.gtx of proj-data): a
// place of the simulator's, the grid's lowest region, both poles' rows, the antimeridian on both
// sides, and the west and south.
TEST(Egm96Geoid, AgreesWithProjAtPlacesAroundTheEarth) {
    struct Place {
        double lat, lon, separation;
    };
    const Place places[] = {{50, 10, 48.029350},
                            {-33.9, 18.4, 31.061885},
                            {35.7, 139.7, 36.801685},
                            {64.8, -147.7, 11.554870},
                            {-89.9, 0, -29.539263},
                            {0.1, 179.9, 21.106646},
                            {0.1, -179.95, 20.963420},
                            {4.7, 78.8, -106.963758},
                            {89.95, 45, 13.619554},
                            {-12.34567, -76.54321, 27.966304},
                            {0.1, 179.9 - 360.0, 21.106646}};
    for (const Place& p : places) {
        EXPECT_NEAR(Egm96Separation(p.lat, p.lon), p.separation, 1e-4) << p.lat << " " << p.lon;
    }
    EXPECT_TRUE(std::isnan(Egm96Separation(90.5, 0)));
    const Egm96Grid& grid = Egm96GridData();
    EXPECT_EQ(grid.rows, 721);
    EXPECT_EQ(grid.columns, 1440);
    EXPECT_EQ(grid.bytes.size(), 40u + 721u * 1440u * 4u);
}

}  // namespace
