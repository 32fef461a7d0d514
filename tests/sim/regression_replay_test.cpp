// Recorded receiver byte streams, replayed through a pseudo-terminal into the receive thread: the
// raw log and the sequence of status-line texts must be those stored beside each stream.
//
// tests/data/NAME.stream   the bytes on the line, recorded from satlog-sim (--capture)
// tests/data/NAME.log      the raw log the tool must write (satlog-sim --log, same scenario)
// tests/data/NAME.status   the status-line texts the tool must show, one change per line
//
// When a change of behaviour is intended, tests/data/regenerate.sh rebuilds all three.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/live_receiver.hpp"
#include "tools/sim/command_handshake.hpp"
#include "tools/sim/sim_line.hpp"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const fs::path kDataDir = SATLOG_REGRESSION_DIR;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> Streams() {
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(kDataDir, ignored)) {
        if (entry.path().extension() == ".stream") {
            names.push_back(entry.path().stem().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool Regenerating() {
    const char* value = std::getenv("SATLOG_REGENERATE");
    return value != nullptr && std::string(value) == "1";
}

// Plays the receiver for a recorded stream: answers the tool's commands as satlog-sim does,
// then sends the stream's bytes as fast as the line takes them.
class StreamPlayer {
  public:
    explicit StreamPlayer(const std::string& stream) : stream_(stream) {
        std::string error;
        line_ = SimLine::OpenPseudoTerminal("", error);
        EXPECT_TRUE(line_) << error;
    }
    const std::string& Path() const { return line_->ToolPath(); }

    bool Play() {
        CommandHandshake handshake(-1);
        std::uint8_t buffer[256];
        const auto until = std::chrono::steady_clock::now() + 20s;
        while (!handshake.Complete()) {
            if (std::chrono::steady_clock::now() > until) {
                return false;
            }
            const long n = line_->Read(buffer, sizeof buffer, 100);
            if (n < 0) {
                return false;
            }
            handshake.Receive(
                {buffer, static_cast<std::size_t>(n)}, [&](const CommandHandshake::Event& e) {
                    const std::string& r = e.reply;
                    line_->Write({reinterpret_cast<const std::uint8_t*>(r.data()), r.size()});
                });
        }
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(stream_.data());
        for (std::size_t at = 0; at < stream_.size(); at += kChunk) {
            if (!line_->Write({bytes + at, std::min(kChunk, stream_.size() - at)})) {
                return false;
            }
        }
        line_->Drain(5000);
        return true;
    }

  private:
    static constexpr std::size_t kChunk = 1000;
    std::string stream_;
    std::unique_ptr<SimLine> line_;
};

class RegressionReplay : public ::testing::TestWithParam<std::string> {};

TEST_P(RegressionReplay, LogAndStatusLinesAsStored) {
    const fs::path base = kDataDir / GetParam();
    const fs::path logPath = fs::path(base).replace_extension(".log");
    const fs::path statusPath = fs::path(base).replace_extension(".status");
    const std::string stream = ReadFile(fs::path(base).replace_extension(".stream"));
    ASSERT_FALSE(stream.empty());
    ASSERT_TRUE(fs::exists(logPath)) << logPath << " is missing; see tests/data/regenerate.sh";
    if (!Regenerating()) {
        ASSERT_TRUE(fs::exists(statusPath))
            << statusPath << " is missing; see tests/data/regenerate.sh";
    }
    const std::string expectedLog = ReadFile(logPath);

    const fs::path scratch = fs::temp_directory_path() /
                             ("satlog-regression-" + std::to_string(::getpid()) + GetParam());
    fs::create_directories(scratch);
    StreamPlayer player(stream);
    std::vector<std::string> status;
    std::string log;
    {
        LiveReceiver receiver(player.Path(), scratch / "mavu0.txt");
        ASSERT_TRUE(receiver.Ok());
        ASSERT_TRUE(player.Play()) << "the tool did not configure the receiver";
        EXPECT_TRUE(receiver.WaitForLogSize(expectedLog.size(), 30s));
        receiver.Stop();
        log = receiver.Log();
        status = receiver.status.Changes();
    }
    fs::remove_all(scratch);

    EXPECT_EQ(log.size(), expectedLog.size());
    EXPECT_TRUE(log == expectedLog) << "the raw log differs from " << logPath;
    std::string statusText;
    for (const std::string& line : status) {
        statusText += line + "\n";
    }
    if (Regenerating()) {
        std::ofstream(statusPath, std::ios::binary) << statusText;
        std::printf("wrote %s (%zu status changes)\n", statusPath.c_str(), status.size());
        return;
    }
    const std::string expectedStatus = ReadFile(statusPath);
    if (statusText != expectedStatus) {
        // Name the first difference rather than dump thousands of lines.
        std::istringstream a(statusText), b(expectedStatus);
        std::string la, lb;
        for (int n = 1;; ++n) {
            const bool more = static_cast<bool>(std::getline(a, la));
            const bool moreExpected = static_cast<bool>(std::getline(b, lb));
            if (!more && !moreExpected) {
                break;
            }
            if (la != lb || more != moreExpected) {
                ADD_FAILURE() << statusPath << ":" << n << ": expected '" << lb << "', shown '"
                              << la << "'";
                break;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Streams, RegressionReplay, ::testing::ValuesIn(Streams()),
                         [](const auto& p) {
                             std::string name = p.param;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

TEST(RegressionData, EveryStreamHasItsExpectedFiles) {
    if (Regenerating()) {
        GTEST_SKIP() << "the expected files are being written";
    }
    const std::vector<std::string> streams = Streams();
    EXPECT_GE(streams.size(), 3u) << "no recorded streams in " << kDataDir;
    for (const std::string& name : streams) {
        for (const char* ext : {".log", ".status"}) {
            const fs::path expected = kDataDir / (name + ext);
            EXPECT_TRUE(fs::exists(expected))
                << expected << " is missing; see tests/data/regenerate.sh";
        }
    }
}

}  // namespace
