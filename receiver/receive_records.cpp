// The listen loop: line events, the prefix scan, and the handling of one framed record.
#include <algorithm>
#include <charconv>
#include <cstring>
#include <span>
#include <string_view>

#include "receiver/receive_read_settings.hpp"
#include "receiver/receive_thread.hpp"
#include "receiver/receive_wait.hpp"
#include "records/record_dispatch.hpp"

namespace {

constexpr std::string_view kErrorText = "error";
constexpr std::string_view kLogWriteErrorText = "mavu0.txt Write Error";

// The line events shown on status line 3, in the order they are tested: the last one shown stays.
struct ShownEvent {
    DWORD event;
    std::string_view text;
};
constexpr ShownEvent kShownEvents[] = {
    {EV_BREAK, "EV_BREAK"},
    {EV_CTS, "EV_CTS"},
    {EV_DSR, "EV_DSR"},
    {EV_RING, "EV_RING"},
};

std::span<std::uint8_t> BodyBuffer(ReceiveState& state, RecordKind kind) {
    switch (kind) {
        case RecordKind::Ephemeris:
            return state.snvBody;
        case RecordKind::Measurement:
            return state.mpcBody;
        case RecordKind::EpochTime:
            break;
    }
    return state.pbnBody;
}

std::string_view AsText(std::span<const std::uint8_t> bytes) {
    const auto end = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
    return {reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::size_t>(end - bytes.begin())};
}

// Header bytes 1 to 4; byte 0, the separator, is not examined.
std::string_view KindTag(const ReceiveState& state) {
    return {reinterpret_cast<const char*>(state.header.data()) + 1, framing::kTagLength};
}

bool HoldsPrefix(const ReceiveState& state) {
    return std::memcmp(state.syncWindow.data(), framing::kPrefix.data(), framing::kPrefixLength) ==
           0;
}

// Tag and body go to the log in one write, so that the log never holds a tag without its body.
void LogRecord(HANDLE logHandle, StatusLines& status, const RecordKindLayout& kind,
               std::span<const std::uint8_t> body, ReceiveState& state) {
    std::memcpy(state.logEntry.data(), kind.tag.data(), framing::kTagLength);
    std::memcpy(state.logEntry.data() + framing::kTagLength, body.data(), body.size());
    const auto length = static_cast<DWORD>(framing::kTagLength + body.size());
    const BOOL written =
        WriteFile(logHandle, state.logEntry.data(), length, &state.transferCount, nullptr);
    if (written == 0 || state.transferCount != length) {
        status.SetStatusLine(StatusLine::Outcome,
                             kLogWriteErrorText);  // a lost record is never silent
    }
}

// The epoch's count on status line 3, as a decimal number.
void ShowCount(StatusLines& status, std::int32_t count) {
    char text[16];
    const auto end = std::to_chars(text, text + sizeof text, count).ptr;
    status.SetStatusLine(StatusLine::Count,
                         std::string_view(text, static_cast<std::size_t>(end - text)));
}

// Reads single bytes while there are any; every "$PASHR" that goes by starts a record.
void ScanBurst(HANDLE portHandle, HANDLE logHandle, StatusLines& status, ReceiveState& state) {
    std::array<std::uint8_t, framing::kPrefixLength>& window = state.syncWindow;
    for (;;) {
        std::uint8_t byte = 0;
        ReadFile(portHandle, &byte, 1, &state.transferCount, nullptr);
        if (state.transferCount != 1) {
            return;
        }
        window[framing::kPrefixLength - 1] = byte;
        if (HoldsPrefix(state)) {
            HandleRecord(portHandle, logHandle, status, state);
            // A record uses its prefix up: a lone "R" right after it starts nothing.
            window.fill(0);
        } else {
            std::copy(window.begin() + 1, window.end(), window.begin());
        }
    }
}

}  // namespace

void HandleRecord(HANDLE portHandle, HANDLE logHandle, StatusLines& status, ReceiveState& state) {
    UseRecordReads(portHandle, state);
    ReadFile(portHandle, state.header.data(), framing::kHeaderLength, &state.transferCount,
             nullptr);
    const DWORD headerRead = std::min<DWORD>(state.transferCount, framing::kHeaderLength);
    if (headerRead != framing::kHeaderLength && state.StopRequested()) {
        return;  // the window closed while the record was arriving: a cut read is not a fault
    }

    if (headerRead != framing::kHeaderLength) {
        // A gap inside the header: what is there is not a header, and nothing is dispatched.
        status.SetStatusLine(StatusLine::Outcome, kErrorText);
    } else if (const RecordKindLayout* kind = FindRecordKind(KindTag(state))) {
        const std::span<std::uint8_t> body = BodyBuffer(state, kind->kind);
        ReadFile(portHandle, body.data(), static_cast<DWORD>(body.size()), &state.transferCount,
                 nullptr);
        if (state.transferCount != body.size() && state.StopRequested()) {
            return;  // closing, as above: nothing of the cut record is shown or logged
        }
        if (state.transferCount != body.size()) {
            // A gap inside the body: the buffer's tail is another record's, so none of it is
            // processed or logged. The rest of the record arrives later and is scanned and dropped.
            status.SetStatusLine(StatusLine::Outcome, kErrorText);
        } else {
            const DecodedRecord record = DecodeRecord(*kind, body);
            if (record.trailerGood) {
                if (const auto count = ApplyRecord(state.tables, record)) {
                    ShowCount(status, *count);
                }
            } else {
                // Its content cannot be trusted: kept out of the tables, logged as received.
                status.SetStatusLine(StatusLine::Outcome, kErrorText);
            }
            LogRecord(logHandle, status, *kind, body, state);
        }
    }
    status.SetStatusLine(StatusLine::Header, AsText(std::span(state.header).first(headerRead)));
    UseImmediateReads(portHandle, state);
}

void ReceiveRecords(HANDLE portHandle, HANDLE logHandle, StatusLines& status, ReceiveState& state) {
    while (!state.StopRequested()) {
        WaitForLineEvent(portHandle, state);
        for (const ShownEvent& shown : kShownEvents) {
            if ((state.eventMask & shown.event) != 0) {
                status.SetStatusLine(StatusLine::Count, shown.text);
            }
        }
        if ((state.eventMask & EV_RXCHAR) != 0) {
            ScanBurst(portHandle, logHandle, status, state);
        }
    }
}
