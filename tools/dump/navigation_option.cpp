#include "tools/dump/navigation_option.hpp"

#include <filesystem>
#include <fstream>
#include <system_error>

#include "records/terminal_text.hpp"

bool NavigationOption::Load(std::FILE* err) {
    if (path.empty()) {
        return true;
    }
    const std::string shown = EscapeForTerminal(path);
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        std::fprintf(err, "satlog-dump: %s: is a directory, not a navigation file\n",
                     shown.c_str());
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(err, "satlog-dump: cannot open the navigation file %s\n", shown.c_str());
        return false;
    }
    RinexError error;
    const std::optional<RinexNavigationFile> file = ReadRinexNavigation(in, error);
    if (!file) {
        std::fprintf(err, "satlog-dump: %s:%d: %s\n", shown.c_str(), error.line,
                     error.message.c_str());
        return false;
    }
    data_ = ToNavigationData(*file);
    if (!data_.ionosphere) {
        std::fprintf(err,
                     "satlog-dump: %s has no ION ALPHA and ION BETA: no ionospheric correction\n",
                     shown.c_str());
    }
    return true;
}

EpochFixer FixerFor(const NavigationData* navigation, FixOptions options) {
    if (navigation == nullptr) {
        return EpochFixer(options);
    }
    options.ionosphere = navigation->ionosphere;
    return EpochFixer(options, &navigation->ephemerides);
}
