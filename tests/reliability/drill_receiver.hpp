// The receiver's side of a fault drill: a pseudo-terminal whose device end the drill plays. It
// answers the tool's configuration commands and then sends whatever the drill asks for; a session
// of records made by the record encoder says what the raw log must hold afterwards.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "records/record_layout.hpp"
#include "tests/support/pseudo_terminal.hpp"

using Bytes = std::vector<std::uint8_t>;

// Records of a few satellites whose positions the tool can compute: one ephemeris each, then
// epochs of one usable measurement per satellite and the position record that closes them.
struct DrillSession {
    struct Record {
        const RecordKindLayout* kind;
        Bytes framed;    // as the receiver sends it
        Bytes logEntry;  // as the raw log must hold it
    };
    std::vector<Record> records;
    int satellites = 0;

    DrillSession(int satellites, int epochs, int firstEpoch = 0);
    Bytes Line(std::size_t first = 0, std::size_t count = SIZE_MAX) const;
    Bytes Log(std::size_t first = 0, std::size_t count = SIZE_MAX) const;
};

class DrillReceiver {
  public:
    const std::string& Path() const { return pty_.Path(); }
    bool Ok() const { return pty_.Fd() >= 0; }

    // Reads the four commands, answering each of the first three as the receiver does. False if
    // they did not all come within `limit`.
    bool AnswerConfiguration(std::chrono::milliseconds limit);
    void Send(const Bytes& bytes) const { pty_.Write(bytes); }
    // Sends `chunk` over and over, as fast as the line takes it, until `keepGoing` says stop or
    // the line goes away. Returns the bytes sent.
    std::uint64_t Flood(const Bytes& chunk, const std::function<bool()>& keepGoing) const;
    void HangUp() { pty_.HangUp(); }
    // Bytes the tool wrote after the configuration, waiting `quiet` for them.
    Bytes Received(std::chrono::milliseconds quiet) const { return pty_.ReadUntilQuiet(quiet); }

  private:
    PseudoTerminal pty_;
};

// The raw log the drill finds in `path`, whole.
Bytes ReadFileBytes(const std::string& path);
