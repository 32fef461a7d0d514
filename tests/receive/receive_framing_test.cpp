// Framing, dispatch and the raw log, against a scripted receiver on a virtual clock.
#include <gtest/gtest.h>

#include "tests/receive/receive_harness.hpp"

namespace {

using std::chrono::milliseconds;
using Start = ReceiverThread::Start;

// One epoch of satellite 5: its ephemeris, its measurement, the position record closing it.
struct Epoch {
    Bytes snv = SnvBodyBytes(5);
    Bytes mpc = MpcBodyBytes(5);
    Bytes pbn = PbnBodyBytes(345'600'000);
    Bytes Stream() const {
        return Concat({Framed(kSnvLayout, snv), Framed(kMpcLayout, mpc), Framed(kPbnLayout, pbn)});
    }
    Bytes Log() const {
        return Concat(
            {LogEntry(kSnvLayout, snv), LogEntry(kMpcLayout, mpc), LogEntry(kPbnLayout, pbn)});
    }
};

std::size_t CountChanges(const std::vector<std::string>& changes, const std::string& change) {
    return static_cast<std::size_t>(std::count(changes.begin(), changes.end(), change));
}

TEST(ReceiveRecords, BackToBackRecordsAreFramedProcessedAndLoggedWhole) {
    const Epoch epoch;
    ScriptedRun run;
    run.device->Send(epoch.Stream());
    run.Run(Start::Listen);

    const Bytes log = run.log.Contents();
    EXPECT_EQ(log.size(), 138u + 101u + 62u);
    EXPECT_EQ(log, epoch.Log());
    const std::vector<std::string> expected = {"Label1: ,SNV,", "Label1: ,MPC,", "Label3: 1",
                                               "Label1: ,PBN,"};
    EXPECT_EQ(run.status.Changes(), expected);
}

TEST(ReceiveRecords, OneReadCallPerScannedByteAndTwoPerRecord) {
    ScriptedRun run;
    run.device->Send(Concat({Text("xyz"), Framed(kPbnLayout, PbnBodyBytes(0))}));
    run.Run(Start::Listen);

    std::vector<DWORD> asked;
    for (const auto& call : run.device->Calls()) {
        if (call.kind == ScriptedSerialDevice::CallKind::Read) {
            asked.push_back(call.value);
        }
    }
    // 3 + 6 single bytes up to the match, header, body, then one read that finds the queue empty.
    std::vector<DWORD> expected(9, 1);
    expected.push_back(5);
    expected.push_back(58);
    expected.push_back(1);
    EXPECT_EQ(asked, expected);
}

TEST(ReceiveRecords, APrefixSplitAcrossTwoLineEventsIsFramed) {
    const Bytes record = Framed(kPbnLayout, PbnBodyBytes(1000));
    ScriptedRun run;
    run.device->Send(Bytes(record.begin(), record.begin() + 3))
        .Send(Bytes(record.begin() + 3, record.end()));
    run.Run(Start::Listen);
    EXPECT_EQ(run.log.Contents(), LogEntry(kPbnLayout, PbnBodyBytes(1000)));
}

TEST(ReceiveRecords, TheSameStreamInChunksOfAnySizeGivesTheSameLogAndStatus) {
    const Epoch epoch;
    // Noise between records, a record of an unknown kind, a false start of the prefix.
    const Bytes stream =
        Concat({Text("$PASH$PAS"), epoch.Stream(), Text("noise\r\n"),
                Framed(kPbnLayout, PbnBodyBytes(2000)), Text("$PASHR,XYZ,abc"), epoch.Stream()});
    std::optional<Bytes> firstLog;
    std::optional<std::vector<std::string>> firstChanges;
    for (std::size_t chunk : {std::size_t{1}, std::size_t{2}, std::size_t{7}, stream.size()}) {
        SCOPED_TRACE("chunks of " + std::to_string(chunk));
        ScriptedRun run;
        for (std::size_t at = 0; at < stream.size(); at += chunk) {
            const std::size_t end = std::min(stream.size(), at + chunk);
            run.device->Send(Bytes(stream.begin() + static_cast<std::ptrdiff_t>(at),
                                   stream.begin() + static_cast<std::ptrdiff_t>(end)));
        }
        run.Run(Start::Listen);
        if (!firstLog) {
            firstLog = run.log.Contents();
            firstChanges = run.status.Changes();
            EXPECT_EQ(*firstLog,
                      Concat({epoch.Log(), LogEntry(kPbnLayout, PbnBodyBytes(2000)), epoch.Log()}));
        } else {
            EXPECT_EQ(run.log.Contents(), *firstLog);
            EXPECT_EQ(run.status.Changes(), *firstChanges);
        }
    }
}

TEST(ReceiveRecords, AnUnknownKindShowsItsHeaderOnlyAndTheBytesAfterItAreScanned) {
    const Bytes pbn = PbnBodyBytes(4000);
    ScriptedRun run;
    // The would-be body of the unknown record holds a whole record: it must be found.
    run.device->Send(Concat({Text("$PASHR,XYZ,"), Framed(kPbnLayout, pbn)}));
    run.Run(Start::Listen);

    EXPECT_EQ(run.log.Contents(), LogEntry(kPbnLayout, pbn));
    const std::vector<std::string> expected = {"Label1: ,XYZ,", "Label3: 0", "Label1: ,PBN,"};
    EXPECT_EQ(run.status.Changes(), expected);

    // Immediate reads are back after the unknown kind as after a known one.
    std::vector<DWORD> settings;
    for (const auto& call : run.device->Calls()) {
        if (call.kind == ScriptedSerialDevice::CallKind::SetTimeouts) {
            settings.push_back(call.value);
        }
    }
    const std::vector<DWORD> expectedSettings = {MAXDWORD, 50, MAXDWORD, 50, MAXDWORD};
    EXPECT_EQ(settings, expectedSettings);
}

TEST(ReceiveRecords, TheSeparatorByteIsNotExamined) {
    const Bytes snv = SnvBodyBytes(7);
    ScriptedRun run;
    run.device->Send(Framed(kSnvLayout, snv, ';'));
    run.Run(Start::Listen);
    EXPECT_EQ(run.log.Contents(), LogEntry(kSnvLayout, snv));
    EXPECT_EQ(run.status.Line(StatusLine::Header), ";SNV,");
}

// The trailer test: either byte wrong is an error; a failing record stays out of the tables but
// is logged as received.
TEST(ReceiveRecords, TrailerCases) {
    struct Case {
        std::uint8_t cr, lf;
        bool error;
    };
    for (const Case c : {Case{0x0D, 0x0A, false}, Case{0x0D, 'x', true}, Case{'x', 0x0A, true},
                         Case{'x', 'y', true}}) {
        SCOPED_TRACE(testing::Message() << "trailer " << int{c.cr} << " " << int{c.lf});
        Epoch epoch;
        epoch.snv[132] = c.cr;
        epoch.snv[133] = c.lf;
        ScriptedRun run;
        run.device->Send(epoch.Stream());
        run.Run(Start::Listen);

        EXPECT_EQ(run.log.Contents(), epoch.Log());
        EXPECT_EQ(run.status.Line(StatusLine::Outcome), c.error ? "error" : "Label2");
        // Without the ephemeris no satellite can be computed at the epoch.
        EXPECT_EQ(run.status.Line(StatusLine::Count), c.error ? "0" : "1");
    }
}

TEST(ReceiveRecords, ALoneRRightAfterARecordStartsNothing) {
    const Bytes pbn = PbnBodyBytes(5000);
    ScriptedRun run;
    run.device->Send(Concat({Framed(kPbnLayout, pbn), Text("R,PBN,"), pbn}));
    run.Run(Start::Listen);
    EXPECT_EQ(run.log.Contents(), LogEntry(kPbnLayout, pbn));
    EXPECT_EQ(CountChanges(run.status.Changes(), "Label1: ,PBN,"), 1u);
}

TEST(ReceiveRecords, AShortHeaderIsAnErrorAndNothingIsDispatched) {
    const Bytes pbn = PbnBodyBytes(6000);
    ScriptedRun run;
    // An earlier header ",PBN," sits in the header buffer; the new one stops after ",P".
    run.device->Send(Framed(kPbnLayout, pbn))
        .Send("$PASHR,P")
        .Pause(milliseconds(60))
        .Send(Concat({Text("BN,"), pbn}));
    run.Run(Start::Listen);

    EXPECT_EQ(run.log.Contents(), LogEntry(kPbnLayout, pbn));
    const std::vector<std::string> expected = {"Label3: 0", "Label1: ,PBN,", "Label2: error",
                                               "Label1: ,P"};
    EXPECT_EQ(run.status.Changes(), expected);
}

TEST(ReceiveRecords, AShortBodyIsAnErrorAndIsNeitherProcessedNorLogged) {
    const Epoch epoch;
    const Bytes pbn = PbnBodyBytes(7000);
    const Bytes late = Framed(kPbnLayout, pbn);
    ScriptedRun run;
    run.device
        ->Send(epoch.Stream())  // the PBN buffer now holds a whole earlier record
        .Send(Bytes(late.begin(), late.begin() + 40))
        .Pause(milliseconds(60))
        .Send(Bytes(late.begin() + 40, late.end()))
        .Send(Framed(kPbnLayout, pbn));
    run.Run(Start::Listen);

    EXPECT_EQ(run.log.Contents(), Concat({epoch.Log(), LogEntry(kPbnLayout, pbn)}));
    const std::vector<std::string> expected = {"Label1: ,SNV,", "Label1: ,MPC,", "Label3: 1",
                                               "Label1: ,PBN,", "Label2: error", "Label1: ,PBN,",
                                               "Label3: 0",     "Label1: ,PBN,"};
    EXPECT_EQ(run.status.Changes(), expected);
}

// The window closes while the receive thread waits for a record's header or body after its
// prefix: the read cut short by the close is not a faulty record.
TEST(ReceiveRecords, ClosingInsideARecordShowsNoError) {
    for (const Bytes& cut : {Text("$PASHR"), Text("$PASHR,SNV,")}) {
        ScriptedRun run;
        run.device->Send(cut);
        run.Run(Start::Listen);
        EXPECT_EQ(CountChanges(run.status.Changes(), "Label2: error"), 0u) << cut.size();
        EXPECT_TRUE(run.log.Contents().empty());
    }
}

TEST(ReceiveRecords, AGapOfExactlyFiftyMillisecondsDoesNotCutARecord) {
    const Bytes pbn = PbnBodyBytes(8000);
    const Bytes record = Framed(kPbnLayout, pbn);
    for (int gap : {50, 51}) {
        SCOPED_TRACE("gap " + std::to_string(gap));
        ScriptedRun run;
        run.device->Send(Bytes(record.begin(), record.begin() + 30))
            .Pause(milliseconds(gap))
            .Send(Bytes(record.begin() + 30, record.end()));
        run.Run(Start::Listen);
        EXPECT_EQ(run.log.Contents().empty(), gap > 50);
        EXPECT_EQ(run.status.Line(StatusLine::Outcome), gap > 50 ? "error" : "Label2");
    }
}

TEST(ReceiveRecords, LineEventsShowInOrderAndTheLastStays) {
    ScriptedRun run;
    run.device->Signal(EV_CTS | EV_RING).Signal(EV_BREAK | EV_CTS | EV_DSR | EV_RING | EV_RLSD);
    run.Run(Start::Listen);
    const std::vector<std::string> expected = {"Label3: EV_CTS",   "Label3: EV_RING",
                                               "Label3: EV_BREAK", "Label3: EV_CTS",
                                               "Label3: EV_DSR",   "Label3: EV_RING"};
    EXPECT_EQ(run.status.Changes(), expected);
}

TEST(ReceiveRecords, ATransmitEmptyReportAloneShowsNothingAndReadsNothing) {
    ScriptedRun run;
    run.device->Signal(EV_TXEMPTY).Signal(EV_ERR | EV_RLSD);
    run.Run(Start::Listen);
    EXPECT_TRUE(run.status.Changes().empty());
    for (const auto& call : run.device->Calls()) {
        EXPECT_NE(call.kind, ScriptedSerialDevice::CallKind::Read);
    }
}

TEST(ReceiveRecords, AFailedLogWriteIsShown) {
    auto device = std::make_shared<ScriptedSerialDevice>();
    HANDLE port = device->Open();
    SynchronizedStatusLines status;
    device->Send(Framed(kPbnLayout, PbnBodyBytes(9000)));
    {
        ReceiverThread thread(port, INVALID_HANDLE_VALUE, status, Start::Listen);
        ASSERT_TRUE(device->WaitUntilIdle());
    }
    CloseHandle(port);
    const std::vector<std::string> expected = {"Label3: 0", "Label2: mavu0.txt Write Error",
                                               "Label1: ,PBN,"};
    EXPECT_EQ(status.Changes(), expected);
}

}  // namespace
