// --nav FILE of the commands that fix epochs (fix, rinex, summary, skyplot, nmea, gpx): a RINEX 2
// GPS navigation file, such as the day's broadcast file. Its ION ALPHA and ION BETA drive the
// broadcast ionospheric correction of the fixes, and its ephemerides serve the satellites that
// the log has not brought an ephemeris for yet. The option itself is defined once in
// shared_options.hpp (AddNavigationOption).
#pragma once

#include <cstdio>
#include <string>

#include "formats/rawlog/epoch_fix.hpp"
#include "formats/rinex/navigation_data.hpp"

// The fixer of a command's epochs: with the navigation data's ionosphere and ephemerides when
// `navigation` is given (it must outlive the fixer), else with neither.
EpochFixer FixerFor(const NavigationData* navigation, FixOptions options = {});

class NavigationOption {
  public:
    std::string path;  // empty: no --nav

    // Reads and parses the file when one was named; false with a message naming the file (and
    // for a parse error the line) on `err`. A file without both ION lines serves its
    // ephemerides, and `err` says that the fixes have no ionospheric correction.
    bool Load(std::FILE* err);
    // The file's data once loaded; null without --nav.
    const NavigationData* Data() const { return path.empty() ? nullptr : &data_; }
    // FixerFor the file's data, when one was named (the option must outlive the fixer).
    EpochFixer Fixer(FixOptions options = {}) const { return FixerFor(Data(), options); }

  private:
    NavigationData data_;
};
