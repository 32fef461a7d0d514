// satlog-dump rinex, summary and skyplot on arbitrary raw logs.
//
// Beyond "no crash, no out-of-bounds access", each input must satisfy:
//  - whenever rinex writes its files, both read back through the project's strict RINEX readers;
//  - the three commands never report success on a log the reader could not read to its end.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "formats/rinex/rinex_navigation.hpp"
#include "formats/rinex/rinex_observation.hpp"
#include "tools/dump/dump_main.hpp"

namespace {

[[noreturn]] void Fail(const char* what, const std::string& detail = {}) {
    std::fprintf(stderr, "fuzz_export: property violated: %s %s\n", what, detail.c_str());
    std::abort();
}

const std::filesystem::path& WorkDir() {
    static const std::filesystem::path dir = [] {
        auto d = std::filesystem::temp_directory_path() /
                 ("satlog-fuzz-export-" + std::to_string(::getpid()));
        std::filesystem::create_directories(d);
        return d;
    }();
    return dir;
}

std::FILE* NullOutput() {
    static std::FILE* null = std::fopen("/dev/null", "wb");
    return null;
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

int Run(std::initializer_list<const char*> args, std::string* out = nullptr) {
    std::vector<const char*> argv(args);
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* stream = open_memstream(&text, &size);
    const int status = DumpMain(static_cast<int>(argv.size()), argv.data(), stream, NullOutput());
    std::fclose(stream);
    if (out != nullptr) {
        out->assign(text, size);
    }
    std::free(text);
    return status;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string log = (WorkDir() / "fuzz0.txt").string();
    {
        std::ofstream f(log, std::ios::binary | std::ios::trunc);
        f.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    const std::string dir = WorkDir().string();
    const std::string svg = (WorkDir() / "sky.svg").string();
    // The whole log read to its end is what `records` reports with status 0.
    const bool readToEnd = Run({"satlog-dump", "records", log.c_str()}) == 0;

    std::string paths;
    const int rinex =
        Run({"satlog-dump", "rinex", log.c_str(), "--week", "1590", "--dir", dir.c_str()}, &paths);
    if (rinex == 0 && !readToEnd) {
        Fail("rinex reports success on a log that was not read to its end");
    }
    if (rinex == 0 || (rinex == 1 && !paths.empty())) {
        std::istringstream lines(paths);
        std::string obsPath, navPath;
        std::getline(lines, obsPath);
        std::getline(lines, navPath);
        RinexError error;
        if (!ParseRinexObservation(Slurp(obsPath), error)) {
            Fail("the observation file does not read back:", error.message);
        }
        if (!ParseRinexNavigation(Slurp(navPath), error)) {
            Fail("the navigation file does not read back:", error.message);
        }
        std::filesystem::remove(obsPath);
        std::filesystem::remove(navPath);
    }
    if (Run({"satlog-dump", "summary", log.c_str(), "--week", "1590"}) == 0 && !readToEnd) {
        Fail("summary reports success on a log that was not read to its end");
    }
    if (Run({"satlog-dump", "skyplot", log.c_str(), "-o", svg.c_str(), "--position",
             "50,10,300"}) == 0 &&
        !readToEnd) {
        Fail("skyplot reports success on a log that was not read to its end");
    }
    return 0;
}
