// The receiver's side of the configuration: it takes the tool's text commands line by line,
// answers each of the first three with a short text, and starts its binary output only once it
// has seen all four, in order.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

inline constexpr std::array<std::string_view, 4> kConfigurationCommands = {
    "$PASHS,RCI,1", "$PASHS,ELM,15", "$PASHS,OUT,A", "$PASHS,OUT,A,SNV,PBN,MBN,BIN"};

class CommandHandshake {
  public:
    // Commands after the `silentAfter`th get no answer (negative: every one is answered).
    explicit CommandHandshake(int silentAfter) : silentAfter_(silentAfter) {}

    struct Event {
        std::string command;  // the line received, without CR LF
        int number;           // 1 for the first command received
        bool expected;        // it was the next command of the sequence
        std::string reply;    // the bytes to send back; empty for none
    };

    // Feeds bytes received from the tool; calls `onCommand` for every complete line.
    void Receive(std::span<const std::uint8_t> bytes,
                 const std::function<void(const Event&)>& onCommand);

    // All four commands have been seen in order: the binary output may start.
    bool Complete() const { return next_ == kConfigurationCommands.size(); }

  private:
    void Line(const std::function<void(const Event&)>& onCommand);

    int silentAfter_;
    int received_ = 0;
    std::size_t next_ = 0;  // index of the next command of the sequence
    std::string line_;
    bool overlong_ = false;
};

// The reply to one of the first three commands: "ACK," and the command's name, CR LF. It never
// contains the record prefix, so that a reply still waiting in the tool's queue is dropped by its
// scan and never taken for a record.
std::string ReplyTo(std::string_view command);
