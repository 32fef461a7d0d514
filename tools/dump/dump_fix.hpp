// satlog-dump fix: the receiver's position at every epoch of a raw log, by the single-point fix.
#pragma once

#include <cstdio>
#include <string>

#include "formats/rinex/navigation_data.hpp"
#include "positioning/point_fix.hpp"

// CSV on `out`, one row per epoch; `name` is what messages call the log. Exit status and messages
// as every command has them (dump_command.hpp). `navigation` (may be null): the --nav file's
// ionosphere and ephemerides.
int DumpFix(std::FILE* in, const std::string& name, std::FILE* out, std::FILE* err,
            const FixOptions& options = {}, const NavigationData* navigation = nullptr);
