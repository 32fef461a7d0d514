// The delay the ionosphere adds to a GPS L1 signal, by the broadcast model of IS-GPS-200
// (20.3.3.5.2.5, figure 20-4): a single thin layer 350 km up whose vertical delay follows the
// local time at the point where the signal pierces it, a half cosine by day around 14:00 with the
// amplitude and period the satellites broadcast as eight coefficients (alpha, beta), and 5 ns by
// night; the slant factor F = 1 + 16 (0.53 - E)^3 carries it to the elevation E.
//
// The coefficients come from a navigation message, e.g. the ION ALPHA and ION BETA lines of a
// RINEX 2 navigation file. The model removes about half of the real delay on average; what is
// left is the largest error of a single-frequency fix.
#pragma once

#include <array>

#include "gnss/geodesy.hpp"

struct KlobucharParameters {
    std::array<double, 4> alpha{};  // s, s/semicircle, s/semicircle^2, s/semicircle^3
    std::array<double, 4> beta{};   // s, s/semicircle, s/semicircle^2, s/semicircle^3
};

// Slant delay in metres (the time delay of the model times the speed of light) for a receiver at
// `receiver` (its height plays no part), a satellite seen at `look`, and the receive time in
// seconds of the GPS week (any whole number of days may be added: only the time of day counts).
// An elevation below the horizon is taken as the horizon.
double KlobucharDelay(const KlobucharParameters& parameters, const Geodetic& receiver,
                      const LookAngles& look, double gpsSeconds);
