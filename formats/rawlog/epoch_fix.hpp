// The single-point fix of one epoch of a raw log (log_epochs.hpp): pseudorange c x rawRange, the
// satellite's position and clock at its transmit time as the orbit code computed them.
// Satellites whose position or clock is not finite (a degenerate ephemeris) are left out.
#pragma once

#include "formats/rawlog/log_epochs.hpp"
#include "positioning/point_fix.hpp"

PointFix FixLogEpoch(const LogEpoch& epoch, const FixOptions& options = {});
