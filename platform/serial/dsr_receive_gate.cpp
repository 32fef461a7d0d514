#include "platform/serial/dsr_receive_gate.hpp"

namespace serial_detail {

void DsrReceiveGate::SetSensitive(bool sensitive, DsrSample now) {
    sensitive_ = sensitive;
    lastLook_ = now;
}

bool DsrReceiveGate::Keep(DsrSample now, Arrival arrival) {
    if (!sensitive_) {
        return true;
    }
    const bool keep = arrival == Arrival::JustNow
                          ? now.on
                          : now.on || lastLook_.on || now.changes != lastLook_.changes;
    lastLook_ = now;
    return keep;
}

}  // namespace serial_detail
