// WGS-84 geodesy against published values and closed forms, and the EGM96 geoid of the track
// formats' heights against PROJ's cs2cs.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "gnss/geodesy.hpp"
#include "gnss/geoid/egm96_geoid.hpp"

namespace {

constexpr double kPi = std::numbers::pi;

double Dms(double d, double m, double s) {
    return d + m / 60.0 + s / 3600.0;
}

// Worked example of the EPSG guidance note on geographic/geocentric conversions (WGS 84).
TEST(Geodesy, PublishedReferencePointBothWays) {
    const Geodetic g{Dms(53, 48, 33.820), Dms(2, 7, 46.380), 73.0};
    const Ecef p = GeodeticToEcef(g);
    EXPECT_NEAR(p.x, 3771793.968, 1e-3);
    EXPECT_NEAR(p.y, 140253.342, 1e-3);
    EXPECT_NEAR(p.z, 5124304.349, 1e-3);

    const Geodetic back = EcefToGeodetic({3771793.968, 140253.342, 5124304.349});
    EXPECT_NEAR(back.latitudeDeg, g.latitudeDeg, 0.0005 / 3600.0);
    EXPECT_NEAR(back.longitudeDeg, g.longitudeDeg, 0.0005 / 3600.0);
    EXPECT_NEAR(back.heightM, 73.0, 1e-3);
}

TEST(Geodesy, AxesPolesAndTheCentre) {
    constexpr double kPolarRadius = 6356752.314245;  // b of WGS 84
    const Ecef equator = GeodeticToEcef({0, 90, 0});
    EXPECT_NEAR(equator.x, 0.0, 1e-6);
    EXPECT_NEAR(equator.y, 6378137.0, 1e-6);
    const Geodetic north = EcefToGeodetic({0, 0, kPolarRadius + 10.0});
    EXPECT_DOUBLE_EQ(north.latitudeDeg, 90.0);
    EXPECT_NEAR(north.heightM, 10.0, 1e-6);
    const Geodetic south = EcefToGeodetic({0, 0, -kPolarRadius});
    EXPECT_DOUBLE_EQ(south.latitudeDeg, -90.0);
    EXPECT_NEAR(south.heightM, 0.0, 1e-6);
    const Geodetic centre = EcefToGeodetic({0, 0, 0});
    EXPECT_EQ(centre.latitudeDeg, 0.0);
    EXPECT_EQ(centre.heightM, -6378137.0);
}

TEST(Geodesy, RoundTripFarNorthSouthAndAcrossTheDateLine) {
    for (const Geodetic g : {Geodetic{78.2, 15.6, 40.0}, Geodetic{89.99, -30.0, 2800.0},
                             Geodetic{-45.9, 170.5, 10.0}, Geodetic{-17.8, 179.999, 20.0},
                             Geodetic{-17.8, -179.999, -30.0}, Geodetic{0.0, 0.0, 20200e3}}) {
        const Geodetic back = EcefToGeodetic(GeodeticToEcef(g));
        EXPECT_NEAR(back.latitudeDeg, g.latitudeDeg, 1e-11);
        EXPECT_NEAR(back.longitudeDeg, g.longitudeDeg, 1e-11);
        EXPECT_NEAR(back.heightM, g.heightM, 1e-6);
    }
}

TEST(Geodesy, LookAnglesInTheLocalHorizon) {
    const Geodetic site{-33.9, 18.4, 50.0};
    const Ecef here = GeodeticToEcef(site);
    // Straight up along the ellipsoid normal, and points on the horizon due north and due east.
    const Ecef up = GeodeticToEcef({site.latitudeDeg, site.longitudeDeg, 20000e3});
    EXPECT_NEAR(ComputeLookAngles(here, up).elevationDeg, 90.0, 1e-9);
    const double lat = site.latitudeDeg * kPi / 180.0, lon = site.longitudeDeg * kPi / 180.0;
    const Ecef north{here.x - std::sin(lat) * std::cos(lon) * 1e6,
                     here.y - std::sin(lat) * std::sin(lon) * 1e6, here.z + std::cos(lat) * 1e6};
    const LookAngles n = ComputeLookAngles(here, north);
    EXPECT_NEAR(n.elevationDeg, 0.0, 1e-9);
    EXPECT_NEAR(std::remainder(n.azimuthDeg, 360.0), 0.0, 1e-9);
    const Ecef east{here.x - std::sin(lon) * 1e6, here.y + std::cos(lon) * 1e6, here.z};
    EXPECT_NEAR(ComputeLookAngles(here, east).azimuthDeg, 90.0, 1e-9);
    const Ecef west{here.x + std::sin(lon) * 1e6, here.y - std::cos(lon) * 1e6, here.z};
    EXPECT_NEAR(ComputeLookAngles(here, west).azimuthDeg, 270.0, 1e-9);
}

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
