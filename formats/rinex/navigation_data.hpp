// What a RINEX 2 GPS navigation file gives a fix: the healthy ephemerides by satellite, and the
// broadcast ionospheric model's coefficients when its header has both ION ALPHA and ION BETA.
#pragma once

#include <optional>

#include "formats/rinex/rinex_navigation.hpp"
#include "orbit/broadcast_ephemerides.hpp"
#include "positioning/ionosphere.hpp"

struct NavigationData {
    BroadcastEphemerides ephemerides;  // health 0 only, in the receiver's units
    std::optional<KlobucharParameters> ionosphere;
};

NavigationData ToNavigationData(const RinexNavigationFile& file);
