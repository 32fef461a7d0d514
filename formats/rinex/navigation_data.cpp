#include "formats/rinex/navigation_data.hpp"

NavigationData ToNavigationData(const RinexNavigationFile& file) {
    NavigationData data;
    for (const RinexEphemeris& r : file.records) {
        // A satellite its own message calls unhealthy is not to be used.
        if (r.health == 0.0) {
            data.ephemerides.Add(r.prn, ToEphemerisRecord(r));
        }
    }
    if (file.ionosphere) {
        data.ionosphere = KlobucharParameters{file.ionosphere->alpha, file.ionosphere->beta};
    }
    return data;
}
