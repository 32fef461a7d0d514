#include "fuzz/seeds/seed_scenario.hpp"

#include <string_view>

#include "platform/serial/win32_comm.hpp"
#include "records/record_encoder.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;

LineStep Send(Bytes bytes) {
    return {LineStep::Kind::Send, std::move(bytes), 0};
}
LineStep Send(std::string_view text) {
    return Send(Bytes(text.begin(), text.end()));
}

}  // namespace

std::span<const std::uint8_t> SeedScenario::FirstBody(const RecordKindLayout& kind) const {
    switch (kind.kind) {
        case RecordKind::Ephemeris:
            return snv;
        case RecordKind::Measurement:
            return mpc;
        case RecordKind::EpochTime:
            break;
    }
    return pbn;
}

SeedScenario MakeSeedScenario(const std::vector<EphemerisRecord>& ephemerides, int epochs) {
    SeedScenario s;
    auto add = [&](const RecordKindLayout& kind, std::span<const std::uint8_t> body) {
        AppendLogEntry(s.log, kind, body);
        Bytes framed;
        AppendFramedRecord(framed, kind, body);
        s.line.push_back(Send(std::move(framed)));
    };
    for (const EphemerisRecord& e : ephemerides) {
        const SnvBody body = EncodeEphemerisBody(e);
        add(kSnvLayout, body);
        s.snv.assign(body.begin(), body.end());
    }
    const std::int32_t firstMs = ephemerides.empty() ? 345600000 : ephemerides.front().toe * 1000;
    for (int epoch = 0; epoch < epochs; ++epoch) {
        std::uint8_t status = 0;
        for (const EphemerisRecord& e : ephemerides) {
            const MeasurementRecord m{static_cast<std::uint8_t>(e.prn + 1), status,
                                      1.0e6 + 1000.0 * epoch, 0.067 + 0.001 * e.prn};
            const MpcBody body = EncodeMeasurementBody(m);
            add(kMpcLayout, body);
            s.mpc.assign(body.begin(), body.end());
            status = static_cast<std::uint8_t>((status + 1) % 4);  // 0 and 3 are not usable
        }
        const PbnBody body = EncodeEpochTimeBody(firstMs + 1000 * epoch);
        add(kPbnLayout, body);
        s.pbn.assign(body.begin(), body.end());
    }
    return s;
}

std::vector<LineStep> NoisyLine(const SeedScenario& scenario) {
    std::vector<LineStep> line;
    line.push_back(Send("$PASHR,ACK*3D\r\n$PAS$PASH"));
    line.push_back({LineStep::Kind::Signal, {}, EV_CTS | EV_RING});
    for (std::size_t k = 0; k < scenario.line.size(); ++k) {
        Bytes record = scenario.line[k].bytes;
        switch (k % 6) {
            case 1: {  // split by a gap longer than the record read allows
                const auto half = record.begin() + static_cast<std::ptrdiff_t>(record.size() / 2);
                line.push_back(Send(Bytes(record.begin(), half)));
                line.push_back({LineStep::Kind::Pause, {}, 80});
                line.push_back(Send(Bytes(half, record.end())));
                continue;
            }
            case 2:  // a bad trailer
                record[record.size() - 2] = 'x';
                record[record.size() - 1] = 'y';
                break;
            case 3:  // another separator
                record[6] = '*';
                break;
            case 4:
                line.push_back(Send("$PASHR,XYZ,junk\r\n"));
                break;
            case 5:  // split by a short gap
                line.push_back(Send(Bytes(record.begin(), record.begin() + 9)));
                line.push_back({LineStep::Kind::Pause, {}, 20});
                line.push_back(Send(Bytes(record.begin() + 9, record.end())));
                continue;
            default:
                break;
        }
        line.push_back(Send(std::move(record)));
    }
    line.push_back(Send("$PASHRR"));
    return line;
}

std::vector<std::uint8_t> OddSlotLog(const EphemerisRecord& ephemeris) {
    Bytes log;
    for (const int prnMinusOne : {-1, 35, 36, 127, -128}) {
        EphemerisRecord e = ephemeris;
        e.prn = static_cast<std::int8_t>(prnMinusOne);
        AppendLogEntry(log, kSnvLayout, EncodeEphemerisBody(e));
    }
    for (const int prn : {0, 36, 37, 255}) {
        AppendLogEntry(log, kMpcLayout,
                       EncodeMeasurementBody({static_cast<std::uint8_t>(prn), 1, 0.0, 0.07}));
    }
    AppendLogEntry(log, kPbnLayout, EncodeEpochTimeBody(-1000));
    return log;
}

std::vector<LineStep> FrameRawLog(std::span<const std::uint8_t> log) {
    std::vector<LineStep> line;
    std::size_t at = 0;
    while (at + framing::kTagLength <= log.size()) {
        const std::string_view tag(reinterpret_cast<const char*>(log.data() + at),
                                   framing::kTagLength);
        const RecordKindLayout* kind = FindRecordKind(tag);
        if (kind == nullptr || at + framing::kTagLength + kind->bodyLength > log.size()) {
            break;
        }
        Bytes framed;
        AppendFramedRecord(framed, *kind, log.subspan(at + framing::kTagLength, kind->bodyLength));
        line.push_back(Send(std::move(framed)));
        at += framing::kTagLength + kind->bodyLength;
    }
    return line;
}
