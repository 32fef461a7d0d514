// The input format of the receive target: what happens on the serial line, as a byte string that
// the fuzzer can mutate freely. Every byte string is a valid script.
//
//   op 0x00..0xEF  Send: the next op + 1 bytes arrive together (fewer at the end of the input)
//   op 0xF0        Pause: the line stays quiet for the next byte's value in milliseconds
//                  (more than 50 ends a record read early, as a gap on the line does)
//   op 0xF1        Signal: the next two bytes, little-endian, are line events (EV_ bits)
//   op 0xF2..0xFF  no step
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

struct LineStep {
    enum class Kind : std::uint8_t { Send, Pause, Signal };
    Kind kind = Kind::Send;
    std::vector<std::uint8_t> bytes;  // Send
    std::uint32_t value = 0;          // Pause: milliseconds; Signal: events
};

inline constexpr std::uint8_t kLineSendMax = 0xEF;
inline constexpr std::uint8_t kLinePause = 0xF0;
inline constexpr std::uint8_t kLineSignal = 0xF1;
inline constexpr std::size_t kLineSendChunk = kLineSendMax + 1;

inline std::vector<LineStep> DecodeLineScript(const std::uint8_t* data, std::size_t size) {
    std::vector<LineStep> steps;
    std::size_t at = 0;
    while (at < size) {
        const std::uint8_t op = data[at++];
        if (op <= kLineSendMax) {
            const std::size_t n = std::min<std::size_t>(op + 1u, size - at);
            steps.push_back({LineStep::Kind::Send, {data + at, data + at + n}, 0});
            at += n;
        } else if (op == kLinePause && at < size) {
            steps.push_back({LineStep::Kind::Pause, {}, data[at++]});
        } else if (op == kLineSignal && at + 1 < size) {
            const std::uint32_t events = data[at] | (static_cast<std::uint32_t>(data[at + 1]) << 8);
            steps.push_back({LineStep::Kind::Signal, {}, events});
            at += 2;
        }
    }
    return steps;
}

inline std::vector<std::uint8_t> EncodeLineScript(const std::vector<LineStep>& steps) {
    std::vector<std::uint8_t> out;
    for (const LineStep& step : steps) {
        switch (step.kind) {
            case LineStep::Kind::Send:
                for (std::size_t k = 0; k < step.bytes.size(); k += kLineSendChunk) {
                    const std::size_t n = std::min(kLineSendChunk, step.bytes.size() - k);
                    out.push_back(static_cast<std::uint8_t>(n - 1));
                    out.insert(out.end(), step.bytes.begin() + static_cast<std::ptrdiff_t>(k),
                               step.bytes.begin() + static_cast<std::ptrdiff_t>(k + n));
                }
                break;
            case LineStep::Kind::Pause:
                out.push_back(kLinePause);
                out.push_back(static_cast<std::uint8_t>(std::min<std::uint32_t>(step.value, 255)));
                break;
            case LineStep::Kind::Signal:
                out.push_back(kLineSignal);
                out.push_back(static_cast<std::uint8_t>(step.value & 0xFF));
                out.push_back(static_cast<std::uint8_t>((step.value >> 8) & 0xFF));
                break;
        }
    }
    return out;
}
