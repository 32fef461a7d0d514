#include "tools/sim/fault_injector.hpp"

#include <algorithm>
#include <string_view>

#include "records/record_encoder.hpp"

namespace {

constexpr std::uint8_t kWrongSeparator = ';';
// Wrong trailer bytes: neither CR nor LF, nor any byte of the prefix.
constexpr std::uint8_t kWrongCr = ' ';
constexpr std::uint8_t kWrongLf = '#';

bool HoldsPrefix(std::span<const std::uint8_t> bytes) {
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return text.find(framing::kPrefix) != std::string_view::npos;
}

}  // namespace

std::vector<std::uint8_t> FrameRecord(const RecordKindLayout& kind,
                                      std::span<const std::uint8_t> body, std::uint8_t separator) {
    std::vector<std::uint8_t> out;
    out.reserve(framing::kPrefixLength + framing::kHeaderLength + body.size());
    AppendFramedRecord(out, kind, body, separator);
    return out;
}

std::vector<std::uint8_t> LogEntryOf(const RecordKindLayout& kind,
                                     std::span<const std::uint8_t> body) {
    std::vector<std::uint8_t> out;
    out.reserve(framing::kTagLength + body.size());
    AppendLogEntry(out, kind, body);
    return out;
}

WirePiece FaultInjector::Junk() {
    // Line noise: any byte but '$', so that it never holds a prefix; every other burst ends in
    // the first five bytes of one, which the real prefix right after it must survive.
    WirePiece piece;
    const std::size_t length = 1 + random_() % 24;
    for (std::size_t k = 0; k < length; ++k) {
        std::uint8_t b = static_cast<std::uint8_t>(random_() % 256);
        piece.bytes.push_back(b == '$' ? std::uint8_t{'%'} : b);
    }
    if (++junks_ % 2 == 0) {
        const std::string_view partial = framing::kPrefix.substr(0, 5);
        piece.bytes.insert(piece.bytes.end(), partial.begin(), partial.end());
    }
    return piece;
}

WirePiece FaultInjector::UnknownKind() {
    // A text record of a kind the tool does not decode; its bytes after the header are scanned.
    static constexpr std::string_view kRecord = "$PASHR,XYZ,1,2,3*00\r\n";
    WirePiece piece;
    piece.bytes.assign(kRecord.begin(), kRecord.end());
    return piece;
}

WirePiece FaultInjector::NamesNoSlot() {
    // Alternately an ephemeris for slot 61 (PRN byte 60) and a measurement for PRN 200.
    WirePiece piece;
    if (++noSlotRecords_ % 2 == 1 && !lastSnvBody_.empty()) {
        std::vector<std::uint8_t> body = lastSnvBody_;
        body[snv::prn] = 60;
        piece.bytes = FrameRecord(kSnvLayout, body);
        piece.logEntry = LogEntryOf(kSnvLayout, body);
    } else {
        MeasurementRecord m{};
        m.prn = 200;
        m.status = 1;
        m.rawRange = 0.07;
        const MpcBody body = EncodeMeasurementBody(m);
        piece.bytes = FrameRecord(kMpcLayout, body);
        piece.logEntry = LogEntryOf(kMpcLayout, body);
    }
    return piece;
}

bool FaultInjector::Apply(const PlannedRecord& record, std::vector<WirePiece>& out) {
    if (faults_.hangupAfter > 0 && sent_ >= static_cast<std::uint64_t>(faults_.hangupAfter)) {
        return false;
    }
    ++sent_;
    if (record.kind->kind == RecordKind::Ephemeris) {
        lastSnvBody_.assign(record.Body().begin(), record.Body().end());
    }
    if (Every(faults_.junkEvery)) {
        out.push_back(Junk());
    }

    std::vector<std::uint8_t> body(record.Body().begin(), record.Body().end());
    bool trailerWrong = false;
    if (Every(faults_.badTrailerEvery)) {
        // Both bytes wrong, then CR wrong, then LF wrong, in turn.
        const std::uint64_t variant = trailerFaults_++ % 3;
        if (variant != 2) {
            body[body.size() - 2] = kWrongCr;
        }
        if (variant != 1) {
            body[body.size() - 1] = kWrongLf;
        }
        trailerWrong = true;
    }
    const std::uint8_t separator =
        Every(faults_.badSeparatorEvery) ? kWrongSeparator : framing::kSeparator;

    WirePiece piece;
    piece.bytes = FrameRecord(*record.kind, body, separator);
    piece.logEntry = LogEntryOf(*record.kind, body);
    piece.processed = trailerWrong ? nullptr : &record;

    if (Every(faults_.splitEvery)) {
        // In turn inside the header (after two of its bytes) and inside the body (after half of
        // it): either way the tool's read comes up short and the record is lost. What follows the
        // pause is scanned; it is split only where that cannot frame a record.
        const std::size_t cut =
            splits_ % 2 == 0 ? framing::kPrefixLength + 2
                             : framing::kPrefixLength + framing::kHeaderLength + body.size() / 2;
        const std::span<const std::uint8_t> tail(piece.bytes.data() + cut,
                                                 piece.bytes.size() - cut);
        if (!HoldsPrefix(tail)) {
            ++splits_;
            WirePiece second;
            second.bytes.assign(tail.begin(), tail.end());
            piece.bytes.resize(cut);
            piece.pauseAfterMs = kSplitPauseMs;
            piece.logEntry.clear();
            piece.processed = nullptr;
            out.push_back(std::move(piece));
            out.push_back(std::move(second));
            piece = WirePiece{};
        }
    }
    if (!piece.bytes.empty()) {
        out.push_back(std::move(piece));
    }
    if (Every(faults_.unknownKindEvery)) {
        out.push_back(UnknownKind());
    }
    if (Every(faults_.badSlotEvery)) {
        out.push_back(NamesNoSlot());
    }
    return true;
}
