// A receive thread on a pseudo-terminal, its raw log in a scratch directory, and status lines
// that count framed records and time-stamp each satellite count.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>
#include <thread>
#include <vector>

#include "receiver/line_events.hpp"
#include "receiver/receive_read_settings.hpp"
#include "receiver/receive_thread.hpp"
#include "receiver/status_lines.hpp"
#include "records/record_encoder.hpp"
#include "tests/support/com3.hpp"
#include "tests/support/pseudo_terminal.hpp"
#include "tests/support/receiver_thread.hpp"
#include "tests/support/sample_ephemeris.hpp"

using Bytes = std::vector<std::uint8_t>;

// No allocation, no lock: what the benchmarks need to know, as atomics.
class CountingStatusLines : public StatusLines {
  public:
    void SetStatusLine(StatusLine line, std::string_view text) override {
        if (line == StatusLine::Header) {
            framed.fetch_add(1, std::memory_order_release);
            framed.notify_all();
        } else if (line == StatusLine::Outcome && text == "error") {
            errors.fetch_add(1, std::memory_order_relaxed);
        } else if (line == StatusLine::Count && !text.empty() && text[0] >= '0' && text[0] <= '9') {
            countAt.store(std::chrono::steady_clock::now().time_since_epoch().count(),
                          std::memory_order_relaxed);
            counts.fetch_add(1, std::memory_order_release);
            counts.notify_all();
        }
    }
    // Blocks until `counter` reaches `value`.
    static void WaitUntil(std::atomic<std::uint64_t>& counter, std::uint64_t value) {
        for (std::uint64_t now = counter.load(std::memory_order_acquire); now < value;
             now = counter.load(std::memory_order_acquire)) {
            counter.wait(now, std::memory_order_acquire);
        }
    }

    std::atomic<std::uint64_t> framed{0};
    std::atomic<std::uint64_t> counts{0};
    std::atomic<std::uint64_t> errors{0};
    std::atomic<std::chrono::steady_clock::rep> countAt{0};
};

inline void AppendEphemeris(Bytes& out, int prn) {
    const SnvBody body = EncodeEphemerisBody(SampleEphemeris(prn));
    AppendFramedRecord(out, kSnvLayout, body);
}
inline void AppendMeasurement(Bytes& out, int prn) {
    const MpcBody body =
        EncodeMeasurementBody(MeasurementRecord{static_cast<std::uint8_t>(prn), 1, 1.0e6, 0.072});
    AppendFramedRecord(out, kMpcLayout, body);
}
inline void AppendEpoch(Bytes& out, std::int32_t timeMs) {
    const PbnBody body = EncodeEpochTimeBody(timeMs);
    AppendFramedRecord(out, kPbnLayout, body);
}

// The listen loop on the slave side of `peer`, as the window starts it after configuration.
class PtyReceiver {
  public:
    PtyReceiver() : port_(OpenCom3(peer.Path())), thread_(port_, log_.Handle(), status, Listen) {}
    ~PtyReceiver() {
        thread_.Stop();
        CloseHandle(port_);
    }
    bool Ok() const {
        return port_ != INVALID_HANDLE_VALUE && log_.Handle() != INVALID_HANDLE_VALUE;
    }
    std::uintmax_t LogSize() const { return log_.Size(); }

    PseudoTerminal peer;
    CountingStatusLines status;

  private:
    static constexpr ReceiverThread::Start Listen = ReceiverThread::Start::Listen;
    ScratchLog log_;
    HANDLE port_;
    ReceiverThread thread_;
};
