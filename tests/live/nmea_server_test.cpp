// NMEA 0183 over TCP: the fan-out of live epochs to many clients (one joining late, one that
// never reads, one killed mid-stream), and a finished log served whole to each client by the
// program itself.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "formats/nmea/nmea_sentences.hpp"
#include "tests/support/child_process.hpp"
#include "tests/support/command_run.hpp"
#include "tests/support/scratch_directory.hpp"
#include "tools/dump/dump_main.hpp"
#include "tools/dump/nmea_server.hpp"
#include "tools/sim/sim_run.hpp"

namespace {

using namespace std::chrono_literals;

// A TCP client of the server on 127.0.0.1 that reads everything on a thread of its own, or
// nothing at all.
class Client {
  public:
    Client(std::uint16_t port, bool reads, int receiveBuffer = 0) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        if (receiveBuffer > 0) {
            ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        }
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
        if (reads && connected_) {
            reader_ = std::thread([this] {
                char buffer[4096];
                for (;;) {
                    const ssize_t n = ::read(fd_, buffer, sizeof buffer);
                    if (n <= 0) {
                        break;
                    }
                    std::lock_guard lock(mutex_);
                    received_.append(buffer, static_cast<std::size_t>(n));
                }
                ended_ = true;
            });
        }
    }
    ~Client() {
        Kill();
        if (reader_.joinable()) {
            reader_.join();
        }
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    bool Connected() const { return connected_; }
    std::string Received() const {
        std::lock_guard lock(mutex_);
        return received_;
    }
    bool Ended() const { return ended_; }
    // As when its process is killed: the system closes the connection.
    void Kill() {
        if (fd_ >= 0) {
            ::shutdown(fd_, SHUT_RDWR);
        }
    }

  private:
    int fd_ = -1;
    bool connected_ = false;
    std::thread reader_;
    mutable std::mutex mutex_;
    std::string received_;
    std::atomic<bool> ended_{false};
};

// Epoch n: the sentences a fixed epoch of 9 satellites gives, at second n of the day.
std::string Epoch(int n) {
    const int used[] = {1, 3, 6, 9, 12, 17, 22, 25, 31};
    std::vector<NmeaSatellite> view;
    for (const int prn : used) {
        view.push_back({prn, true, 10.0 + prn, 7.0 * prn});
    }
    NmeaEpoch e;
    e.utc = std::chrono::sys_days{std::chrono::year{2026} / 1 / 1} + std::chrono::seconds{n};
    e.hasFix = true;
    e.fix = {50.0, 10.0, 252.0, 48.0, 1.9, 1.0, 1.6};
    e.usedPrns = used;
    e.inView = view;
    std::string text;
    AppendNmeaEpoch(e, text);
    return text;
}

// What the server says, caught through a pipe as it is said.
class Messages {
  public:
    Messages() {
        int fds[2];
        if (::pipe(fds) == 0) {
            file_ = ::fdopen(fds[1], "w");
            std::setvbuf(file_, nullptr, _IONBF, 0);
            reader_ = std::thread([this, fd = fds[0]] {
                char buffer[1024];
                ssize_t n;
                while ((n = ::read(fd, buffer, sizeof buffer)) > 0) {
                    std::lock_guard lock(mutex_);
                    text_.append(buffer, static_cast<std::size_t>(n));
                }
                ::close(fd);
            });
        }
    }
    ~Messages() {
        if (file_ != nullptr) {
            std::fclose(file_);
        }
        if (reader_.joinable()) {
            reader_.join();
        }
    }
    std::FILE* get() const { return file_; }
    std::string Text() const {
        std::lock_guard lock(mutex_);
        return text_;
    }

  private:
    std::FILE* file_ = nullptr;
    std::thread reader_;
    mutable std::mutex mutex_;
    std::string text_;
};

template <typename Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > until) {
            return false;
        }
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

// Waits until the started satlog-dump (listening on port 0) says which port it serves on and
// returns it; 0 when it never says so.
std::uint16_t StartServing(ChildProcess& program) {
    const auto serving = program.WaitForLine(
        ChildProcess::Channel::Error,
        [](const std::string& line) {
            return line.find("serving NMEA 0183 on") != std::string::npos;
        },
        10s);
    if (!serving) {
        return 0;
    }
    return static_cast<std::uint16_t>(
        std::stoi(serving->text.substr(serving->text.rfind(':') + 1)));
}

TEST(NmeaServer, FansEpochsOutWholeAndDropsAClientThatDoesNotRead) {
    constexpr std::size_t kQueue = 50;
    constexpr int kEpochs = 600;
    Messages messages;
    std::string problem;
    NmeaServer::Settings settings;
    settings.where.port = 0;  // the system's choice, on the default address
    settings.queueEpochs = kQueue;
    settings.stall = 300ms;
    const auto server = NmeaServer::Listen(settings, messages.get(), problem);
    ASSERT_TRUE(server) << problem;
    EXPECT_EQ(server->Endpoint(), "127.0.0.1:" + std::to_string(server->Port()));

    std::vector<std::unique_ptr<Client>> live;
    for (int k = 0; k < 5; ++k) {
        live.push_back(std::make_unique<Client>(server->Port(), true));
    }
    Client killed(server->Port(), true);
    Client stalled(server->Port(), false, 4096);
    ASSERT_TRUE(WaitFor([&] { return server->ClientCount() == 7; }, 5s));

    std::string all;
    std::vector<std::size_t> boundaries;  // where each epoch begins in `all`
    std::unique_ptr<Client> late;
    std::size_t stalledDroppedAt = 0;
    bool killedForgotten = false;
    for (int n = 0; n < kEpochs; ++n) {
        const std::string epoch = Epoch(n);
        boundaries.push_back(all.size());
        all += epoch;
        server->Publish(epoch);
        std::this_thread::sleep_for(3ms);
        if (n == 100) {
            late = std::make_unique<Client>(server->Port(), true);
        }
        if (n == 200) {
            killed.Kill();
            killedForgotten = WaitFor([&] { return server->ClientCount() == 6; }, 2s);
        }
        if (stalledDroppedAt == 0 && messages.Text().find("dropped") != std::string::npos) {
            stalledDroppedAt = static_cast<std::size_t>(n);
        }
    }
    EXPECT_TRUE(killedForgotten) << "the killed client is still counted";
    const std::size_t liveCount = 5 + 1;  // the late one too
    ASSERT_TRUE(WaitFor(
        [&] { return late->Received().size() > 0 && live[0]->Received().size() == all.size(); },
        10s));
    server->Stop();

    for (const auto& client : live) {
        EXPECT_TRUE(WaitFor([&] { return client->Ended(); }, 5s));
        EXPECT_TRUE(client->Received() == all) << "a live client missed or tore an epoch";
    }
    const std::string suffix = late->Received();
    ASSERT_FALSE(suffix.empty());
    const std::size_t start = all.size() - suffix.size();
    EXPECT_TRUE(all.compare(start, std::string::npos, suffix) == 0);
    EXPECT_TRUE(std::find(boundaries.begin(), boundaries.end(), start) != boundaries.end())
        << "the late client's stream does not begin at an epoch";
    EXPECT_GT(start, boundaries[100]);

    // The client that never reads was dropped while the others kept receiving: after what the
    // system's buffers took, kQueue epochs in its queue and 300 ms without taking anything.
    const std::string said = messages.Text();
    EXPECT_NE(said.find(" epochs wait for it (it does not read)"), std::string::npos) << said;
    EXPECT_EQ(said.find("dropped", said.find("dropped") + 1), std::string::npos)
        << "a client that reads was dropped: " << said;
    EXPECT_GT(stalledDroppedAt, kQueue);
    EXPECT_LT(stalledDroppedAt, static_cast<std::size_t>(kEpochs) - 100) << said;
    std::printf(
        "%zu live clients got %zu epochs each; the late one %zu; the stalled one was "
        "dropped at epoch %zu\n",
        liveCount, boundaries.size(),
        boundaries.end() - std::find(boundaries.begin(), boundaries.end(), start),
        stalledDroppedAt);
}

TEST(NmeaServer, ListenAddresses) {
    const auto port = ParseListenAddress("10110");
    ASSERT_TRUE(port);
    EXPECT_EQ(port->address, "127.0.0.1");
    EXPECT_EQ(port->port, 10110);
    EXPECT_EQ(ParseListenAddress(":2000")->address, "127.0.0.1");
    EXPECT_EQ(ParseListenAddress("0.0.0.0:2000")->address, "0.0.0.0");
    EXPECT_EQ(ParseListenAddress("[::1]:2000")->address, "::1");
    for (const char* bad : {"", "::1:2000", "host:", "127.0.0.1:65536", "12x", "a.log"}) {
        EXPECT_FALSE(ParseListenAddress(bad)) << bad;
    }
}

// The program on a finished log: every client that connects gets the whole log, then the
// connection ends; SIGTERM ends the program with status 0.
TEST(NmeaServer, AFinishedLogIsServedWholeToEachClientUntilStopped) {
    ScratchDirectory dir;
    const std::string log = dir / "day.log";
    ASSERT_EQ(
        RunCommand(SimMain, {"satlog-sim", "--log", log, "--start", "345600", "--duration", "120"})
            .status,
        0);
    const CommandRun expected =
        RunCommand(DumpMain, {"satlog-dump", "nmea", "--week", "1590", log});
    ASSERT_EQ(expected.status, 0) << expected.err;

    ChildOptions options;
    options.argv = {SATLOG_DUMP_PATH, "nmea", "--week", "1590", "--listen", "127.0.0.1:0", log};
    options.output = ChildOptions::Stream::Capture;
    options.error = ChildOptions::Stream::Capture;
    ChildProcess program(options);
    const std::uint16_t port = StartServing(program);
    ASSERT_NE(port, 0);
    for (int k = 0; k < 2; ++k) {
        Client client(port, true);
        ASSERT_TRUE(WaitFor([&] { return client.Ended(); }, 10s));
        EXPECT_TRUE(client.Received() == expected.out) << "client " << k;
    }
    program.Signal(SIGTERM);
    EXPECT_EQ(program.Wait(10s), 0);
    EXPECT_TRUE(program.Lines(ChildProcess::Channel::Output).empty());
}

// The program following a log that grows: a client connected before the new epochs gets each
// of them whole, the same sentences as the finished log gives, and SIGTERM ends it with 0.
TEST(NmeaServer, AFollowedLogGoesLiveToTheClients) {
    ScratchDirectory dir;
    const std::string recorded = dir / "recorded.log";
    ASSERT_EQ(RunCommand(SimMain,
                         {"satlog-sim", "--log", recorded, "--start", "345600", "--duration", "60"})
                  .status,
              0);
    const CommandRun expected =
        RunCommand(DumpMain, {"satlog-dump", "nmea", "--week", "1590", recorded});
    ASSERT_EQ(expected.status, 0) << expected.err;
    std::ifstream in(recorded, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    const std::string live = dir / "mavu0.txt";
    const std::size_t part = bytes.size() / 3;  // cut inside an entry
    std::ofstream(live, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(part));

    ChildOptions options;
    options.argv = {SATLOG_DUMP_PATH, "nmea",     "--follow",    "--week",
                    "1590",           "--listen", "127.0.0.1:0", live};
    options.output = ChildOptions::Stream::Capture;
    options.error = ChildOptions::Stream::Capture;
    ChildProcess program(options);
    const std::uint16_t port = StartServing(program);
    ASSERT_NE(port, 0);
    Client client(port, true);
    ASSERT_TRUE(program.WaitForLine(
        ChildProcess::Channel::Error,
        [](const std::string& line) { return line.find("(1 connected)") != std::string::npos; },
        10s));
    {
        std::ofstream rest(live, std::ios::binary | std::ios::app);
        rest.write(bytes.data() + part, static_cast<std::streamsize>(bytes.size() - part));
    }
    // The new epochs: those after the last one whole in the first part.
    EXPECT_TRUE(WaitFor(
        [&] {
            const std::string got = client.Received();
            return got.size() >= 40 * 300 && expected.out.ends_with(got);
        },
        10s))
        << client.Received().size() << " bytes received";
    program.Signal(SIGTERM);
    EXPECT_EQ(program.Wait(10s), 0);
    EXPECT_TRUE(WaitFor([&] { return client.Ended(); }, 5s));
    const std::string got = client.Received();
    EXPECT_TRUE(expected.out.ends_with(got));
    EXPECT_EQ(got.rfind("$GPRMC", 0), 0u) << "the stream does not begin with an epoch";
}

}  // namespace
