// NMEA 0183 over TCP to many clients at once, as chart plotters, GIS programs and dashboards
// read a receiver's stream (the registered NMEA 0183 port is 10110).
//
// Live (Publish): a client gets whole epochs from the next epoch after it connects, never a
// torn sentence. An epoch goes straight into the client's socket while the system takes it;
// what the system does not take waits in the client's queue of whole epochs. A client with
// `queueEpochs` epochs waiting that has taken nothing for `stall` is dropped, and so is one with
// `maxEpochs` waiting, and that is said on standard error: a client that stops reading never
// delays the others or the caller, and one that reads is not dropped for a burst of epochs (a
// follower catching up). A client that closes is forgotten at once.
//
// A finished log (`whole` given): every client that connects gets the whole text from its start,
// at the pace it reads, and is then closed.
//
// The network runs on a thread of its own; Publish may be called from any thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

struct ListenAddress {
    std::string address = "127.0.0.1";
    std::uint16_t port = 10110;
};

// "PORT", "ADDR:PORT", ":PORT" or "[IPv6]:PORT"; numeric addresses and "localhost". Nothing when
// malformed.
std::optional<ListenAddress> ParseListenAddress(std::string_view text);

class NmeaServer {
  public:
    // A few seconds of a 1 Hz receiver's epochs waiting for one client.
    static constexpr std::size_t kDefaultQueueEpochs = 5;
    static constexpr std::chrono::milliseconds kDefaultStall{2000};
    static constexpr std::size_t kDefaultMaxEpochs = 200;

    struct Settings {
        ListenAddress where;
        std::size_t queueEpochs = kDefaultQueueEpochs;
        std::chrono::milliseconds stall = kDefaultStall;
        std::size_t maxEpochs = kDefaultMaxEpochs;
        std::shared_ptr<const std::string> whole;  // a finished log's text, served to each client
    };

    // Opens the listening socket and starts the network thread; says on `messages` where it
    // listens and when clients come and go. Nothing, and the cause in `problem`, when it cannot
    // listen.
    static std::unique_ptr<NmeaServer> Listen(const Settings& settings, std::FILE* messages,
                                              std::string& problem);
    virtual ~NmeaServer() = default;

    // The address and port it listens on ("127.0.0.1:10110"), the port chosen by the system
    // when 0 was asked for.
    virtual std::string Endpoint() const = 0;
    virtual std::uint16_t Port() const = 0;

    // Live: hands one epoch's sentences to every client connected now.
    virtual void Publish(std::string epoch) = 0;

    // Serves until SIGINT or SIGTERM, then stops.
    virtual void RunUntilSignalled() = 0;

    // Closes every connection and the listening socket and ends the thread. Idempotent.
    virtual void Stop() = 0;

    // For the tests: clients connected now (counted on the network thread).
    virtual std::size_t ClientCount() = 0;
};
