#include "tests/support/temporary_stream.hpp"

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <system_error>

namespace {

std::filesystem::path UniquePath() {
    static std::atomic<unsigned> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    return std::filesystem::temp_directory_path() /
           ("satlog-test-" + std::to_string(stamp) + "-" + std::to_string(counter++) + ".tmp");
}

}  // namespace

TemporaryStream::TemporaryStream() : path_(UniquePath()) {
    file_ = std::fopen(path_.string().c_str(), "w+b");
    if (file_ == nullptr) {
        throw std::runtime_error("cannot create the temporary file " + path_.string());
    }
}

TemporaryStream::~TemporaryStream() {
    std::fclose(file_);
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
}

std::string TemporaryStream::Contents() {
    std::fflush(file_);
    std::rewind(file_);
    std::string text;
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file_)) > 0;) {
        text.append(chunk, n);
    }
    std::rewind(file_);
    return text;
}
