// The receive half of the DSR handshake (fDsrSensitivity), which termios cannot express: the
// driver the window was designed for drops each byte that arrives while DSR is off and keeps each
// byte that arrives while DSR is on, whenever the program comes to read it. termios keeps no
// arrival times, so a device takes what its line has received into an input queue of its own as
// soon as it notices it (when a wait or a read wakes up, and whenever a call finds bytes waiting),
// samples DSR right then and asks this gate whether to keep the bytes.
#pragma once

#include <cstdint>

namespace serial_detail {

// DSR as a device reports it: its level, and how often it has changed so far where the driver
// counts that (a device without the counter reports 0 and is judged by the level alone).
struct DsrSample {
    bool on = true;
    std::uint32_t changes = 0;
};

class DsrReceiveGate {
  public:
    // How the bytes being judged reached the device's queue.
    enum class Arrival : std::uint8_t {
        // They woke a wait that began with nothing unjudged on the line: they came a moment ago,
        // under the DSR sampled now.
        JustNow,
        // They were found waiting: they came at some time since the line was last found empty.
        SinceLastLook,
    };

    // fDsrSensitivity of the block now in force, with DSR as it is.
    void SetSensitive(bool sensitive, DsrSample now);
    bool Sensitive() const { return sensitive_; }

    // The line holds nothing unjudged, and DSR is `now`: later bytes came after this moment.
    void LineEmpty(DsrSample now) { lastLook_ = now; }

    // Bytes just taken off the line, with DSR sampled right after. True: keep them. Bytes found
    // waiting are dropped only when DSR was off the whole time they can have come in (off at the
    // last look, off now, no change counted between): the driver kept whatever came while it
    // was on, and a byte lost is worse than a stray one, which the framing skips anyway.
    bool Keep(DsrSample now, Arrival arrival);

  private:
    bool sensitive_ = false;
    DsrSample lastLook_;
};

}  // namespace serial_detail
