// A raw log split by the framer, with every event kept (entries with a copy of their body, damaged
// stretches with their report), for tests that read what a program wrote or that compare how the
// framer splits the same bytes fed in different pieces.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "formats/rawlog/raw_log_framer.hpp"

struct FramedEvent {
    RawLogFramer::Status status = RawLogFramer::Status::Entry;  // never NeedInput
    std::uint64_t offset = 0;                // the entry's tag, or where the damage begins
    const RecordKindLayout* kind = nullptr;  // Entry
    std::vector<std::uint8_t> body;          // Entry
    std::string text;                        // Damaged, Truncated: what was found
    std::uint64_t skipped = 0;               // Damaged: bytes skipped
    bool operator==(const FramedEvent&) const = default;
};

struct FramedLog {
    bool opened = true;
    std::vector<FramedEvent> events;
    RawLogDamage damage;

    bool Damaged() const { return damage.stretches > 0 || damage.truncatedEnd; }
    // Points into `events`: never taken from a temporary.
    std::vector<const FramedEvent*> Entries(const RecordKindLayout* kind = nullptr) const&& =
        delete;
    std::vector<const FramedEvent*> Entries(const RecordKindLayout* kind = nullptr) const& {
        std::vector<const FramedEvent*> entries;
        for (const FramedEvent& e : events) {
            if (e.status == RawLogFramer::Status::Entry && (kind == nullptr || e.kind == kind)) {
                entries.push_back(&e);
            }
        }
        return entries;
    }
};

// Feeds `bytes` in pieces of `piece` bytes (the last one shorter), taking out every event after
// each piece, then says that the log ends unless `more` (a log still being written).
inline FramedLog FrameLog(std::span<const std::uint8_t> bytes, std::size_t piece = 1 << 16,
                          bool more = false, std::size_t capacity = 1 << 16) {
    RawLogFramer framer(capacity);
    FramedLog log;
    const auto drain = [&] {
        RawLogEntry entry{};
        for (RawLogFramer::Status s; (s = framer.Next(entry)) != RawLogFramer::Status::NeedInput &&
                                     s != RawLogFramer::Status::End;) {
            FramedEvent e;
            e.status = s;
            e.offset = entry.offset;
            if (s == RawLogFramer::Status::Entry) {
                e.kind = entry.kind;
                e.body.assign(entry.body.begin(), entry.body.end());
            } else {
                e.offset = framer.ProblemOffset();
                e.text = framer.ProblemText();
                e.skipped = s == RawLogFramer::Status::Damaged ? framer.LastSkippedBytes() : 0;
            }
            log.events.push_back(std::move(e));
        }
    };
    while (!bytes.empty()) {
        const std::size_t taken = framer.Feed(bytes.first(std::min(piece, bytes.size())));
        bytes = bytes.subspan(taken);
        drain();
    }
    if (!more) {
        framer.Finish();
        drain();
    }
    log.damage = framer.Damage();
    return log;
}

// The log in the file at `path`, read whole; `opened` is false when it cannot be read.
inline FramedLog FrameLogFile(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        FramedLog none;
        none.opened = false;
        return none;
    }
    std::uint8_t block[1 << 14];
    for (std::size_t n; (n = std::fread(block, 1, sizeof block, f)) > 0;) {
        bytes.insert(bytes.end(), block, block + n);
    }
    std::fclose(f);
    return FrameLog(bytes);
}
