// The physical constants of GPS, as IS-GPS-200 gives them, for every layer that needs one. Each is
// the double nearest to the value shown.
#pragma once

inline constexpr double kSpeedOfLight = 299792458.0;                 // m/s
inline constexpr double kEarthRotationRate = 7.2921151467e-5;        // rad/s, WGS-84's Omega-dot-e
inline constexpr double kEarthGravitationalParameter = 3.986005e14;  // m^3/s^2, mu (GM)
