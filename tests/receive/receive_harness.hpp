// What the receive tests share: records as the receiver sends them, a raw log in a scratch
// directory, and a receive thread on a port that a test stops when the line has gone quiet.
#pragma once

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/serial/win32_comm.hpp"
#include "receiver/line_events.hpp"
#include "receiver/receive_read_settings.hpp"
#include "receiver/receive_thread.hpp"
#include "records/record_encoder.hpp"
#include "tests/support/receiver_thread.hpp"
#include "tests/support/sample_ephemeris.hpp"
#include "tests/support/scripted_serial_device.hpp"
#include "tests/support/synchronized_status_lines.hpp"

using Bytes = std::vector<std::uint8_t>;

inline Bytes SnvBodyBytes(int prn) {
    const SnvBody body = EncodeEphemerisBody(SampleEphemeris(prn));
    return {body.begin(), body.end()};
}
inline Bytes MpcBodyBytes(int prn, std::uint8_t status = 1) {
    const MpcBody body = EncodeMeasurementBody(
        MeasurementRecord{static_cast<std::uint8_t>(prn), status, 1.0e6, 0.072});
    return {body.begin(), body.end()};
}
inline Bytes PbnBodyBytes(std::int32_t timeMs) {
    const PbnBody body = EncodeEpochTimeBody(timeMs);
    return {body.begin(), body.end()};
}

inline Bytes Framed(const RecordKindLayout& kind, const Bytes& body,
                    std::uint8_t separator = framing::kSeparator) {
    Bytes out;
    AppendFramedRecord(out, kind, body, separator);
    return out;
}
inline Bytes LogEntry(const RecordKindLayout& kind, const Bytes& body) {
    Bytes out;
    AppendLogEntry(out, kind, body);
    return out;
}
inline Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}
inline Bytes Text(std::string_view text) {
    return {text.begin(), text.end()};
}

// A scripted device opened as a port, with a listen loop or a whole receive thread on it.
struct ScriptedRun {
    std::shared_ptr<ScriptedSerialDevice> device = std::make_shared<ScriptedSerialDevice>();
    HANDLE port = device->Open();
    ScratchLog log;
    SynchronizedStatusLines status;

    ~ScriptedRun() { CloseHandle(port); }

    // Plays the script to its end, then stops the thread.
    void Run(ReceiverThread::Start start) {
        ReceiverThread thread(port, log.Handle(), status, start);
        ASSERT_TRUE(device->WaitUntilIdle()) << "the receive thread never went back to waiting";
        thread.Stop();
    }
};
