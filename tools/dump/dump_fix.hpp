// satlog-dump fix: the receiver's position at every epoch of a raw log, by the single-point fix.
#pragma once

#include <cstdio>
#include <string>

#include "positioning/point_fix.hpp"

extern const char kFixUsage[];

// CSV on `out`, one row per epoch; exit status and messages as the positions command has them.
int DumpFix(std::FILE* in, const std::string& name, std::FILE* out, std::FILE* err,
            const FixOptions& options = {});

// The arguments after "fix": [--mask DEG] FILE|-
int DumpFixMain(int argc, const char* const* argv, std::FILE* out, std::FILE* err);
