// Runs a program's main function in the test's process (satlog-sim's SimMain, satlog-dump's
// DumpMain) with its standard output and error caught, and a scratch directory for the files it
// writes, removed with the object.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/temporary_stream.hpp"

struct CommandRun {
    int status = -1;
    std::string out;
    std::string err;
};

template <typename Main>
CommandRun RunCommand(Main main, const std::vector<std::string>& args) {
    std::vector<const char*> argv;
    for (const std::string& a : args) {
        argv.push_back(a.c_str());
    }
    TemporaryStream out, err;
    CommandRun run;
    run.status = main(static_cast<int>(argv.size()), argv.data(), out.get(), err.get());
    run.out = out.Contents();
    run.err = err.Contents();
    return run;
}

class ScratchDirectory {
  public:
    ScratchDirectory() {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = std::filesystem::temp_directory_path() /
                ("satlog-" + std::string(test->test_suite_name()) + "-" + test->name() + "-" +
                 std::to_string(reinterpret_cast<std::uintptr_t>(this)));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~ScratchDirectory() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& Path() const { return path_; }

  private:
    std::filesystem::path path_;
};
