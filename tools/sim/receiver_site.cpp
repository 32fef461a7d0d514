#include "tools/sim/receiver_site.hpp"

#include "gnss/geodesy.hpp"

ReceiverSite MakeReceiverSite(double latitudeDeg, double longitudeDeg, double heightM) {
    return {latitudeDeg, longitudeDeg, heightM,
            GeodeticToEcef({latitudeDeg, longitudeDeg, heightM})};
}

double ElevationDeg(const ReceiverSite& site, const SatellitePosition& point) {
    return ComputeLookAngles(site.ecef, {site.latitudeDeg, site.longitudeDeg, site.heightM}, point)
        .elevationDeg;
}
