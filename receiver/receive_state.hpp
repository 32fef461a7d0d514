// Everything the receive thread keeps between reads: the event mask and transfer count that its
// serial calls fill, the port's time-out record, the framing buffers and the satellite tables.
// All of it lives as long as the thread and is never reset between line events or records.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "platform/serial/win32_comm.hpp"
#include "records/record_layout.hpp"
#include "records/satellite_tables.hpp"

struct ReceiveState {
    // The set of line events the last wait reported and the byte count of the last read or
    // write. They are kept per receive thread rather than process-wide, so that several
    // receivers can run side by side in one process (the tests do); the program has only one.
    DWORD eventMask = 0;
    DWORD transferCount = 0;
    COMMTIMEOUTS timeouts{};

    // Start as zero bytes, which can complete neither the prefix nor a kind tag.
    std::array<std::uint8_t, framing::kPrefixLength> syncWindow{};  // [0] oldest, [5] newest
    std::array<std::uint8_t, framing::kHeaderLength> header{};
    std::array<std::uint8_t, kSnvLayout.bodyLength> snvBody{};
    std::array<std::uint8_t, kMpcLayout.bodyLength> mpcBody{};
    std::array<std::uint8_t, kPbnLayout.bodyLength> pbnBody{};
    // One raw log entry (kind tag, then body) assembled so that it reaches the log in one write.
    std::array<std::uint8_t, framing::kTagLength + kMaxBodyLength> logEntry{};

    SatelliteTables tables{};

    // Set by the window at shutdown; null for a receiver that runs until the process ends.
    const std::atomic<bool>* stop = nullptr;

    bool StopRequested() const { return stop != nullptr && stop->load(std::memory_order_acquire); }
};
