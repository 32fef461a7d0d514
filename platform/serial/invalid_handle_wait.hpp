// Blocking calls on an invalid handle sleep instead of failing at once, so that a caller that
// retries them (the receive thread on a port that failed to open) does not spin.
#pragma once

namespace serial_detail {

// Sleeps up to kInvalidHandleSleep, or until WakeInvalidHandleSleepers is called.
void SleepOnInvalidHandle();
void WakeInvalidHandleSleepers();

// Short enough that a sleeper which missed the wake-up (it started sleeping just after it) still
// ends soon; long enough that retrying costs no measurable CPU.
inline constexpr int kInvalidHandleSleepMs = 200;

}  // namespace serial_detail
