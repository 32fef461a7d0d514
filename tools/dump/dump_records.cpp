#include "tools/dump/dump_records.hpp"

#include <memory>

#include <CLI/CLI.hpp>

#include "formats/rawlog/raw_log_framer.hpp"
#include "records/record_dispatch.hpp"
#include "tools/dump/dump_command_table.hpp"
#include "tools/dump/log_command_support.hpp"
#include "tools/dump/output_buffer.hpp"
#include "tools/dump/shared_options.hpp"

namespace {

class CsvPositions : public ComputedSatelliteSink {
  public:
    explicit CsvPositions(OutputBuffer& out) : out_(out) {}
    void SatelliteComputed(std::int32_t timeMs, int slot, double transmitTime,
                           const SatellitePosition& p) override {
        out_.Number(timeMs);
        out_.Char(',');
        out_.Number(slot);
        out_.Char(',');
        out_.Number(transmitTime);
        out_.Char(',');
        out_.Number(p.x);
        out_.Char(',');
        out_.Number(p.y);
        out_.Char(',');
        out_.Number(p.z);
        out_.Char('\n');
    }

  private:
    OutputBuffer& out_;
};

// Reads every entry and hands it to `onEntry`; reports the end of the log as an exit status. A
// damaged stretch is reported with its byte offset and skipped, and the entries after it are read.
// Reading stops early when the output can no longer be written.
template <typename OnEntry>
int ForEachEntry(std::FILE* in, const std::string& name, std::FILE* err, OutputBuffer& out,
                 OnEntry onEntry) {
    RawLogFramer framer;
    RawLogEntry entry{};
    std::string readError;
    for (;;) {
        const RawLogFramer::Status status = framer.Next(entry);
        switch (status) {
            case RawLogFramer::Status::NeedInput:
                if (!FeedFromFile(in, framer, readError)) {
                    out.Flush();
                    std::fprintf(err, "satlog-dump: cannot read %s: %s\n", name.c_str(),
                                 readError.c_str());
                    return kExitFailed;
                }
                continue;
            case RawLogFramer::Status::Entry:
                onEntry(entry);
                if (out.Failed()) {
                    return FinishOutput(out, err, kExitFailed);
                }
                continue;
            case RawLogFramer::Status::End: {
                const RawLogDamage& damage = framer.Damage();
                const bool damaged = damage.stretches > 0 || damage.truncatedEnd;
                return FinishOutput(out, err, damaged ? kExitPartial : kExitComplete);
            }
            case RawLogFramer::Status::Truncated:
            case RawLogFramer::Status::Damaged:
                // What was read before the damage goes out first, so that the two streams
                // interleave in order on a terminal.
                out.Flush();
                ReportLogDamage({status, framer.ProblemOffset(), framer.ProblemText(),
                                 framer.LastSkippedBytes(), framer.Offset()},
                                name, err);
                continue;
        }
    }
}

}  // namespace

int DumpRecords(std::FILE* in, const std::string& name, std::FILE* out, std::FILE* err) {
    OutputBuffer text(out);
    return ForEachEntry(in, name, err, text, [&](const RawLogEntry& entry) {
        text.Text("offset=");
        text.Number(entry.offset);
        text.Text(" kind=");
        text.Text(entry.kind->tag.substr(0, 3));
        const DecodedRecord d = DecodeRecord(*entry.kind, entry.body);
        text.Text(" slot=");
        if (entry.kind->kind == RecordKind::EpochTime) {
            text.Char('-');
        } else {
            text.Number(d.Slot());
            if (!NamesSlot(d.Slot())) {
                text.Text("(none)");
            }
        }
        switch (entry.kind->kind) {
            case RecordKind::Ephemeris:
                text.Text(" toe=");
                text.Number(d.ephemeris.record.toe);
                text.Text(" toc=");
                text.Number(d.ephemeris.record.toc);
                text.Text(" e=");
                text.Number(static_cast<double>(d.ephemeris.record.e));
                text.Text(" rootA=");
                text.Number(static_cast<double>(d.ephemeris.record.rootA));
                break;
            case RecordKind::Measurement:
                text.Text(" status=");
                text.Number(static_cast<int>(d.measurement.status));
                text.Text(" rawRange=");
                text.Number(d.measurement.rawRange);
                break;
            case RecordKind::EpochTime:
                text.Text(" timeMs=");
                text.Number(d.timeMs);
                break;
        }
        text.Text(d.trailerGood ? " trailer=CRLF\n" : " trailer=bad\n");
    });
}

int DumpPositions(std::FILE* in, const std::string& name, std::FILE* out, std::FILE* err) {
    OutputBuffer csv(out, 1 << 16);
    csv.Text("time_ms,prn,transmit_time,x,y,z\n");
    auto tables = std::make_unique<SatelliteTables>();
    CsvPositions rows(csv);
    return ForEachEntry(in, name, err, csv, [&](const RawLogEntry& entry) {
        // As in the receive thread: a body that fails the trailer test never reaches the tables.
        DispatchRecord(*entry.kind, entry.body, *tables, &rows);
    });
}

namespace {

constexpr const char* kRecordsHelp =
    "One line per entry, in log order:\n"
    "  offset=N        byte offset of the entry's kind tag in the log\n"
    "  kind=K          SNV (an ephemeris), MPC (a measurement) or PBN (an epoch time)\n"
    "  slot=S          the satellite the record names, \"(none)\" after it when that is\n"
    "                  no satellite; - for PBN\n"
    "  SNV: toe=, toc= the ephemeris and clock reference times, s of the GPS week;\n"
    "       e=, rootA= eccentricity and square root of the semi-major axis (m^1/2)\n"
    "  MPC: status=    the receiver's measurement status (1 or 2: usable);\n"
    "       rawRange=  the signal's travel time as measured, s\n"
    "  PBN: timeMs=    the epoch time, ms of the GPS week\n"
    "  trailer=CRLF    the record body ends in CR LF as it should; trailer=bad: it\n"
    "                  does not (the window logs such a record but never uses it)\n";

constexpr const char* kPositionsHelp =
    "CSV with the header time_ms,prn,transmit_time,x,y,z: one row per satellite the\n"
    "receive thread computes at each epoch, as it computes them:\n"
    "  time_ms        the epoch time, ms of the GPS week, as the PBN record has it\n"
    "  prn            the satellite\n"
    "  transmit_time  when the signal left the satellite, s of the GPS week (the\n"
    "                 epoch time minus rawRange)\n"
    "  x,y,z          the satellite's position at that time, earth-centred\n"
    "                 earth-fixed, metres (WGS 84)\n"
    "Records with a bad trailer are left out, as the receive thread leaves them out.\n"
    "Numbers are in the shortest form that reads back exactly.\n";

using EntryDump = int (*)(std::FILE* in, const std::string& name, std::FILE* out, std::FILE* err);

// The log named on the command line, dumped by `dump`.
CommandRun DefineEntryDump(CLI::App& command, const char* help, EntryDump dump) {
    auto file = std::make_shared<std::string>();
    AddLogFileArgument(command, *file);
    command.footer(help);
    return [file, dump](const CommandStreams& io) {
        CommandLog log;
        if (!log.Open(*file, io.err)) {
            return static_cast<int>(kExitFailed);
        }
        return dump(log.File(), log.ShownName(), io.out, io.err);
    };
}

}  // namespace

const DumpCommand kRecordsCommand{
    "records", "one line per entry: offset, kind, key fields, trailer",
    [](CLI::App& command) { return DefineEntryDump(command, kRecordsHelp, DumpRecords); }};

const DumpCommand kPositionsCommand{
    "positions", "CSV of the satellites' positions at every epoch",
    [](CLI::App& command) { return DefineEntryDump(command, kPositionsHelp, DumpPositions); }};
