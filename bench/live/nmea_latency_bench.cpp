// From the write of an epoch's PBN entry into a growing raw log to a TCP client's receipt of the
// epoch's last sentence (ZDA), through `satlog-dump nmea --follow --listen`, with 1 and with 50
// clients. The epochs of a simulated log are appended one write each, at 1 Hz as a receiver
// sends them (SATLOG_BENCH_PERIOD_MS sets another period for a quicker run). Goal: p99 <= 5 ms.
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include "formats/rawlog/raw_log_framer.hpp"
#include "tests/support/child_process.hpp"
#include "tools/sim/sim_run.hpp"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kWarmUpEpochs = 5;  // in the log before the follower starts
constexpr int kEpochs = 120;

std::chrono::milliseconds Period() {
    const char* text = std::getenv("SATLOG_BENCH_PERIOD_MS");
    return std::chrono::milliseconds(text != nullptr ? std::atoi(text) : 1000);
}

// The simulated log cut after each PBN entry: chunk k holds what the receiver sent for epoch k.
std::vector<std::string> EpochChunks(const std::filesystem::path& dir) {
    const std::string log = (dir / "source.log").string();
    const std::string seconds = std::to_string(kWarmUpEpochs + kEpochs);
    const char* argv[] = {"satlog-sim",    "--log",   log.c_str(), "--duration",
                          seconds.c_str(), "--start", "345600"};
    std::FILE* devNull = std::fopen("/dev/null", "w");
    SimMain(static_cast<int>(std::size(argv)), argv, devNull, devNull);
    std::fclose(devNull);
    std::ifstream in(log, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    RawLogFramer framer;
    RawLogEntry entry{};
    std::vector<std::string> chunks;
    std::size_t begin = 0;
    std::size_t fed = 0;
    for (;;) {
        const RawLogFramer::Status status = framer.Next(entry);
        if (status == RawLogFramer::Status::NeedInput) {
            if (fed == bytes.size()) {
                framer.Finish();
            } else {
                fed += framer.Feed(std::span(data + fed, bytes.size() - fed));
            }
            continue;
        }
        if (status == RawLogFramer::Status::End) {
            break;
        }
        if (status == RawLogFramer::Status::Entry && entry.kind->kind == RecordKind::EpochTime) {
            const std::size_t end = entry.offset + entry.kind->tag.size() + entry.body.size();
            chunks.push_back(bytes.substr(begin, end - begin));
            begin = end;
        }
    }
    return chunks;
}

int Connect(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// A client's stream: counts the ZDA sentences it has seen end, the last of each epoch.
struct ClientStream {
    int fd = -1;
    int epochs = 0;
    std::string tail;  // the bytes after the last complete sentence
    Clock::time_point lastEpochAt;
    void Read() {
        char buffer[8192];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            return;
        }
        const auto now = Clock::now();
        tail.append(buffer, static_cast<std::size_t>(n));
        std::size_t at = 0;
        for (;;) {
            const std::size_t zda = tail.find("$GPZDA", at);
            const std::size_t end = zda == std::string::npos ? zda : tail.find("\r\n", zda);
            if (end == std::string::npos) {
                break;
            }
            ++epochs;
            lastEpochAt = now;
            at = end + 2;
        }
        tail.erase(0, at);
    }
};

void BM_PbnWriteToTcpClient(benchmark::State& state) {
    const auto clients = static_cast<std::size_t>(state.range(0));
    const auto dir = std::filesystem::temp_directory_path() / "satlog-live-bench";
    std::filesystem::create_directories(dir);
    const std::vector<std::string> chunks = EpochChunks(dir);
    if (chunks.size() < static_cast<std::size_t>(kWarmUpEpochs + kEpochs)) {
        state.SkipWithError("the simulator wrote too few epochs");
        return;
    }
    const std::string live = (dir / "mavu0.txt").string();
    const int log = ::open(live.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0644);
    for (int k = 0; k < kWarmUpEpochs; ++k) {
        (void)!::write(log, chunks[k].data(), chunks[k].size());
    }

    ChildOptions options;
    options.argv = {SATLOG_DUMP_PATH, "nmea",     "--follow",    "--week",
                    "1590",           "--listen", "127.0.0.1:0", live};
    options.output = ChildOptions::Stream::Null;
    options.error = ChildOptions::Stream::Capture;
    options.stopSignal = SIGTERM;
    ChildProcess follower(options);
    const auto serving = follower.WaitForLine(
        ChildProcess::Channel::Error,
        [](const std::string& line) {
            return line.find("serving NMEA 0183 on") != std::string::npos;
        },
        10s);
    if (!serving) {
        state.SkipWithError("satlog-dump nmea --follow --listen did not start");
        return;
    }
    const auto port =
        static_cast<std::uint16_t>(std::stoi(serving->text.substr(serving->text.rfind(':') + 1)));
    std::vector<ClientStream> streams(clients);
    std::vector<pollfd> polls(clients);
    for (std::size_t c = 0; c < clients; ++c) {
        streams[c].fd = Connect(port);
        polls[c] = {streams[c].fd, POLLIN, 0};
    }
    const std::string connected = "(" + std::to_string(clients) + " connected)";
    follower.WaitForLine(
        ChildProcess::Channel::Error,
        [&](const std::string& line) { return line.find(connected) != std::string::npos; }, 10s);

    std::vector<double> latenciesUs;
    int lost = 0;
    const auto period = Period();
    auto next = Clock::now();
    for (auto _ : state) {
        for (int k = kWarmUpEpochs; k < kWarmUpEpochs + kEpochs; ++k) {
            std::this_thread::sleep_until(next);
            next += period;
            const int before = streams[0].epochs;
            (void)!::write(log, chunks[k].data(), chunks[k].size());
            const auto written = Clock::now();
            const auto deadline = written + 2s;
            std::size_t done = 0;
            std::vector<bool> seen(clients, false);
            while (done < clients && Clock::now() < deadline) {
                ::poll(polls.data(), polls.size(), 100);
                for (std::size_t c = 0; c < clients; ++c) {
                    if ((polls[c].revents & POLLIN) != 0) {
                        streams[c].Read();
                    }
                    if (!seen[c] && streams[c].epochs > before) {
                        seen[c] = true;
                        ++done;
                        latenciesUs.push_back(std::chrono::duration<double, std::micro>(
                                                  streams[c].lastEpochAt - written)
                                                  .count());
                    }
                }
            }
            lost += static_cast<int>(clients - done);
        }
    }
    for (const ClientStream& s : streams) {
        ::close(s.fd);
    }
    ::close(log);
    if (!latenciesUs.empty()) {
        std::sort(latenciesUs.begin(), latenciesUs.end());
        state.counters["median_us"] = latenciesUs[latenciesUs.size() / 2];
        state.counters["p99_us"] = latenciesUs[latenciesUs.size() * 99 / 100];
        state.counters["max_us"] = latenciesUs.back();
    }
    state.counters["receipts"] = static_cast<double>(latenciesUs.size());
    state.counters["missed"] = lost;
}
BENCHMARK(BM_PbnWriteToTcpClient)->Arg(1)->Arg(50)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
