#include "tests/reliability/drill_program.hpp"

#include <dirent.h>
#include <sys/resource.h>

#include <fstream>
#include <sstream>
#include <thread>

namespace {

// Nanoseconds a task has run, from the first field of its schedstat.
std::uint64_t TaskRunNanoseconds(const std::string& path) {
    std::ifstream in(path);
    std::uint64_t ns = 0;
    in >> ns;
    return ns;
}

}  // namespace

namespace {

// The program off screen, START pressed through the mouse hook, its status lines traced on
// standard error (the only stream the drill reads).
ChildOptions DrillChild(const std::string& path, const DrillOptions& drill) {
    ChildOptions options;
    options.argv = {path};
    options.environment = drill.environment;
    options.environment.emplace_back("QT_QPA_PLATFORM", "offscreen");
    options.environment.emplace_back("XDG_RUNTIME_DIR", drill.directory);
    options.environment.emplace_back("SATLOG_TRACE", "1");
    options.environment.emplace_back("SATLOG_FIRST_PAINT", "1");
    options.environment.emplace_back("SATLOG_CLICK", "Button4");
    if (drill.closeAfterSeconds > 0) {
        options.environment.emplace_back("SATLOG_CLOSE_AFTER",
                                         std::to_string(drill.closeAfterSeconds));
    }
    options.directory = drill.directory;
    options.removeDirectoryFirst = drill.removeDirectoryFirst;
    options.fileSizeLimit = drill.fileSizeLimit;
    options.input = ChildOptions::Stream::Null;
    options.output = ChildOptions::Stream::Null;
    options.error = ChildOptions::Stream::Capture;
    return options;
}

}  // namespace

DrillProgram::DrillProgram(const std::string& path, const DrillOptions& options)
    : child_(DrillChild(path, options)) {}

std::optional<DrillProgram::Line> DrillProgram::WaitForLine(
    const std::function<bool(const std::string&)>& match, std::chrono::milliseconds limit) {
    return child_.WaitForLine(ChildProcess::Channel::Error, match, limit);
}
std::optional<DrillProgram::Line> DrillProgram::WaitForLine(const std::string& text,
                                                            std::chrono::milliseconds limit) {
    return WaitForLine([&](const std::string& line) { return line == text; }, limit);
}

std::vector<DrillProgram::Line> DrillProgram::Lines() const {
    return child_.Lines(ChildProcess::Channel::Error);
}

std::string DrillProgram::Transcript() const {
    std::ostringstream out;
    for (const Line& line : Lines()) {
        out << "  " << line.text << "\n";
    }
    return out.str();
}

bool DrillProgram::SetFileSizeLimit(std::uint64_t bytes) {
    const rlimit limit{bytes, RLIM_INFINITY};
    return prlimit(Pid(), RLIMIT_FSIZE, &limit, nullptr) == 0;
}

double DrillProgram::CpuSeconds() const {
    const std::string tasks = "/proc/" + std::to_string(Pid()) + "/task";
    DIR* dir = opendir(tasks.c_str());
    if (dir == nullptr) {
        return -1.0;
    }
    std::uint64_t ns = 0;
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] != '.') {
            ns += TaskRunNanoseconds(tasks + "/" + entry->d_name + "/schedstat");
        }
    }
    closedir(dir);
    return static_cast<double>(ns) / 1e9;
}

double DrillProgram::CpuShareOver(std::chrono::milliseconds span) const {
    const double before = CpuSeconds();
    const auto begin = Clock::now();
    std::this_thread::sleep_for(span);
    const double after = CpuSeconds();
    const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
    return before < 0 || after < 0 ? -1.0 : (after - before) / seconds;
}
