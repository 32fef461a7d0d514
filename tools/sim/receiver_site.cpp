#include "tools/sim/receiver_site.hpp"

#include "gnss/geodesy.hpp"

ReceiverSite MakeReceiverSite(double latitudeDeg, double longitudeDeg, double heightM) {
    const Ecef p = GeodeticToEcef({latitudeDeg, longitudeDeg, heightM});
    return {latitudeDeg, longitudeDeg, heightM, {p.x, p.y, p.z}};
}

double ElevationDeg(const ReceiverSite& site, const SatellitePosition& point) {
    return ComputeLookAngles({site.ecef.x, site.ecef.y, site.ecef.z},
                             {site.latitudeDeg, site.longitudeDeg, site.heightM},
                             {point.x, point.y, point.z})
        .elevationDeg;
}
