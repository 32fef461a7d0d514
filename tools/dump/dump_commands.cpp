#include "tools/dump/dump_commands.hpp"

#include <cerrno>
#include <cstring>
#include <memory>
#include <string_view>

#include "formats/rawlog/raw_log_framer.hpp"
#include "records/record_dispatch.hpp"
#include "tools/dump/dump_export_commands.hpp"
#include "tools/dump/dump_fix.hpp"
#include "tools/dump/dump_track.hpp"
#include "tools/dump/log_command_support.hpp"
#include "tools/dump/output_buffer.hpp"

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
                    return 2;
                }
                continue;
            case RawLogFramer::Status::Entry:
                onEntry(entry);
                continue;
            case RawLogFramer::Status::End:
                if (!out.Flush()) {
                    std::fprintf(err, "satlog-dump: cannot write the output: %s\n",
                                 std::strerror(errno));
                    return 2;
                }
                return framer.Damage().stretches > 0 || framer.Damage().truncatedEnd ? 1 : 0;
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

constexpr const char* kUsage =
    "usage: satlog-dump records FILE\n"
    "       satlog-dump positions FILE\n"
    "       satlog-dump fix [--mask DEG] FILE\n"
    "       satlog-dump rinex|summary|skyplot FILE [options]\n"
    "       satlog-dump nmea|gpx [options] FILE\n"
    "       satlog-dump --help | --version\n"
    "\n"
    "Decodes a raw log written by satlog (\"mavu0.txt\": entries of a 4-byte kind tag\n"
    "\"SNV,\", \"MPC,\" or \"PBN,\" followed by the record body as the receiver sent it).\n"
    "FILE may be - for standard input.\n"
    "\n"
    "  records    one line per entry: byte offset, kind, satellite slot, the fields that\n"
    "             matter (SNV: toe, toc, e, rootA; MPC: status, rawRange; PBN: timeMs) and\n"
    "             whether the body ends in CR LF.\n"
    "  rinex      RINEX 2.11 observation and navigation files (satlog-dump rinex --help)\n"
    "  summary    the log's quality at a glance (satlog-dump summary --help)\n"
    "  skyplot    SVG sky plot of the satellites' tracks (satlog-dump skyplot --help)\n"
    "  positions  CSV with the header time_ms,prn,transmit_time,x,y,z: one row per satellite\n"
    "             computed at each epoch, X Y Z earth-fixed in metres, as the receive thread\n"
    "             computes them (records with a bad trailer are left out, as it does).\n"
    "  fix        CSV of the receiver's position at every epoch, a single-point fix without\n"
    "             ionospheric correction (satlog-dump fix --help)\n"
    "  nmea       NMEA 0183 sentences of every epoch (satlog-dump nmea --help)\n"
    "  gpx        the fixed epochs as a GPX 1.1 track (satlog-dump gpx --help)\n"
    "\n"
    "A damaged stretch (an unknown tag, an entry cut short, zeros) is reported on standard\n"
    "error with its byte offset and skipped: reading goes on at the next offset where a known\n"
    "tag begins an entry whose body ends in CR LF and is followed by another tag or the end of\n"
    "the file; the number of bytes skipped and where are reported too.\n"
    "\n"
    "Exit status: 0 the whole log was read; 1 the log is damaged or ends inside an entry (every\n"
    "whole entry outside the damage was read and written); 2 bad usage, a file that cannot be\n"
    "read, or output that could not be written.\n";

struct LogCommand {
    std::string_view name;
    int (*run)(int argc, const char* const* argv, std::FILE* out, std::FILE* err);
    const char* usage;
};

constexpr LogCommand kLogCommands[] = {
    {"rinex", DumpRinexMain, kRinexUsage},       {"summary", DumpSummaryMain, kSummaryUsage},
    {"skyplot", DumpSkyplotMain, kSkyplotUsage}, {"fix", DumpFixMain, kFixUsage},
    {"nmea", DumpNmeaMain, kNmeaUsage},          {"gpx", DumpGpxMain, kGpxUsage},
};

}  // namespace

int DumpMain(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
    for (const LogCommand& c : kLogCommands) {
        if (argc >= 2 && argv[1] == c.name) {
            for (int k = 2; k < argc; ++k) {
                if (std::string_view(argv[k]) == "--help" || std::string_view(argv[k]) == "-h") {
                    std::fputs(c.usage, out);
                    return 0;
                }
            }
            return c.run(argc - 2, argv + 2, out, err);
        }
    }
    for (int k = 1; k < argc; ++k) {
        if (std::string_view(argv[k]) == "--help" || std::string_view(argv[k]) == "-h") {
            std::fputs(kUsage, out);
            return 0;
        }
    }
    if (argc == 2 && std::string_view(argv[1]) == "--version") {
        std::fprintf(out, "satlog-dump %s\n", SATLOG_VERSION);
        return 0;
    }
    if (argc != 3) {
        std::fputs(kUsage, err);
        return 2;
    }
    const std::string_view command = argv[1];
    const std::string name = argv[2];
    if (command != "records" && command != "positions") {
        std::fprintf(err, "satlog-dump: unknown command '%s'\n\n%s", argv[1], kUsage);
        return 2;
    }
    CommandLog log;
    if (!log.Open(name, err)) {
        return 2;
    }
    return command == "records" ? DumpRecords(log.File(), log.ShownName(), out, err)
                                : DumpPositions(log.File(), log.ShownName(), out, err);
}
