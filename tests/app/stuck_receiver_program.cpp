// satlog, whole, against a receiver behind a driver that ignores every cancellation: it answers
// the configuration, sends one epoch (an ephemeris, a measurement, the position record) and then
// falls silent, and no CancelPortWait ends the receive thread's wait. Closing the window must
// still end the process, within the bound of the close, with the log whole.
#include <cstdlib>
#include <memory>
#include <vector>

#include "app/program_entry.hpp"
#include "records/record_encoder.hpp"
#include "tests/support/sample_ephemeris.hpp"
#include "tests/support/scripted_serial_device.hpp"

int main() {
    auto device = std::make_shared<ScriptedSerialDevice>();
    for (int command = 0; command < 3; ++command) {
        device->AwaitWrite().Send("$PASHR,ACK*3D\r\n");
    }
    std::vector<std::uint8_t> epoch;
    const EphemerisRecord ephemeris = SampleEphemeris(5);
    AppendFramedRecord(epoch, kSnvLayout, EncodeEphemerisBody(ephemeris));
    MeasurementRecord measurement{};
    measurement.prn = 5;
    measurement.status = 1;
    measurement.rawRange = 0.072;
    AppendFramedRecord(epoch, kMpcLayout, EncodeMeasurementBody(measurement));
    AppendFramedRecord(epoch, kPbnLayout, EncodeEpochTimeBody(345600000));
    device->AwaitWrite().Send(epoch);
    device->IgnoreCancellation();

    RegisterScriptedDevice("stuck", device);
    setenv("SATLOG_COM3", "scripted:stuck", 1);
    return RunSatlog();
}
