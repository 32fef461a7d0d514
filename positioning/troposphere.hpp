// The delay the neutral atmosphere adds to a GPS signal, from a standard atmosphere: the
// receiver's records carry no weather, so pressure, temperature and humidity follow from the
// height alone.
//
// Zenith delay: Saastamoinen's hydrostatic and wet terms,
//   hydrostatic = 0.0022768 P / (1 - 0.00266 cos 2 lat - 0.00028 H)
//   wet         = 0.002277 (1255 / T + 0.05) e
// with P (hPa), T (K) and e (hPa) of the standard atmosphere at the height h (m; H in km):
//   P = 1013.25 (1 - 2.2557e-5 h)^5.2568,  T = 288.15 - 0.0065 h,
//   e = 50 % of the saturation pressure 6.1078 exp(17.27 t / (t + 237.3)), t = T - 273.15 (degC).
// At sea level this is about 2.39 m.
//
// Mapping to the elevation E: Black and Eisner's m(E) = 1.001 / sqrt(0.002001 + sin^2 E), one
// function for both terms. It stays finite down to the horizon (22.4 at E = 0) and is within a
// few centimetres of the finer mapping functions above the 15-degree mask.
//
// The standard atmosphere describes the troposphere up to its top at 11 km: a height below -500 m
// or above 11 km is taken as that limit.
#pragma once

// Zenith delay in metres at a receiver of the given latitude and ellipsoidal height.
double ZenithTroposphericDelay(double latitudeDeg, double heightM);

// The mapping factor for an elevation in degrees (negative elevations map like positive ones),
// or for the sine of the elevation.
double TroposphericMapping(double elevationDeg);
double TroposphericMappingOfSine(double sinElevation);

// Slant delay in metres: the zenith delay times the mapping factor.
double TroposphericDelay(double latitudeDeg, double heightM, double elevationDeg);
