// The receive thread on a real pseudo-terminal, with a peer that writes with real timing.
#include <pthread.h>
#include <time.h>

#include <gtest/gtest.h>

#include "tests/receive/receive_harness.hpp"
#include "tests/support/com3.hpp"
#include "tests/support/pseudo_terminal.hpp"
#include "tests/support/thread_cpu.hpp"

namespace {

using namespace std::chrono_literals;
using Start = ReceiverThread::Start;

// The pseudo-terminal opened the way the window opens COM3.
struct PtyRun {
    PseudoTerminal peer;
    HANDLE port = INVALID_HANDLE_VALUE;
    ScratchLog log;
    SynchronizedStatusLines status;

    PtyRun() { port = OpenCom3(peer.Path()); }
    ~PtyRun() { CloseHandle(port); }

    bool WaitForLogSize(std::uintmax_t size, std::chrono::milliseconds limit) const {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (log.Size() < size) {
            if (std::chrono::steady_clock::now() > until) {
                return false;
            }
            std::this_thread::sleep_for(2ms);
        }
        return true;
    }
};

// A pause inside a body: 60 ms is a gap that cuts the record, 30 ms is not.
TEST(ReceivePty, APauseInsideABodyCutsTheRecordOnlyWhenLongerThanFiftyMilliseconds) {
    for (const auto pause : {60ms, 30ms}) {
        SCOPED_TRACE("pause " + std::to_string(pause.count()) + " ms");
        PtyRun run;
        ASSERT_NE(run.port, INVALID_HANDLE_VALUE);
        ReceiverThread thread(run.port, run.log.Handle(), run.status, Start::Listen);
        const Bytes pbn = PbnBodyBytes(1234);
        const Bytes record = Framed(kPbnLayout, pbn);
        run.peer.Write(std::span(record).first(30));
        std::this_thread::sleep_for(pause);
        run.peer.Write(std::span(record).subspan(30));
        // Then a whole record, which always gets through: the log is complete when it is there.
        run.peer.Write(record);
        const std::uintmax_t expected = pause > 50ms ? 62 : 124;
        ASSERT_TRUE(run.WaitForLogSize(expected, 2s));
        thread.Stop();
        if (pause > 50ms) {
            EXPECT_EQ(run.log.Contents(), LogEntry(kPbnLayout, pbn));
            EXPECT_EQ(run.status.Line(StatusLine::Outcome), "error");
        } else {
            EXPECT_EQ(run.log.Contents(),
                      Concat({LogEntry(kPbnLayout, pbn), LogEntry(kPbnLayout, pbn)}));
            EXPECT_EQ(run.status.Line(StatusLine::Outcome), "Label2");
        }
    }
}

// The whole thread body, configuration included, and a stream written in uneven pieces with
// small pauses: the log holds exactly what was sent, in order.
TEST(ReceivePty, TheLogIsByteIdenticalToWhatWasSent) {
    PtyRun run;
    ASSERT_NE(run.port, INVALID_HANDLE_VALUE);
    ReceiverThread thread(run.port, run.log.Handle(), run.status, Start::Configure);

    for (const char* command : {"$PASHS,RCI,1\r\n", "$PASHS,ELM,15\r\n", "$PASHS,OUT,A\r\n"}) {
        const Bytes received = run.peer.ReadUntilQuiet(100ms);
        EXPECT_EQ(received, Text(command));
        run.peer.Write("ACK\r\n");
    }
    EXPECT_EQ(run.peer.ReadUntilQuiet(100ms), Text("$PASHS,OUT,A,SNV,PBN,MBN,BIN\r\n"));

    Bytes stream;
    Bytes expectedLog;
    for (int epoch = 0; epoch < 20; ++epoch) {
        for (int prn : {3, 14, 27}) {
            stream = Concat({stream, Framed(kSnvLayout, SnvBodyBytes(prn)),
                             Framed(kMpcLayout, MpcBodyBytes(prn))});
            expectedLog = Concat({expectedLog, LogEntry(kSnvLayout, SnvBodyBytes(prn)),
                                  LogEntry(kMpcLayout, MpcBodyBytes(prn))});
        }
        stream = Concat({stream, Framed(kPbnLayout, PbnBodyBytes(epoch * 1000))});
        expectedLog = Concat({expectedLog, LogEntry(kPbnLayout, PbnBodyBytes(epoch * 1000))});
    }
    std::size_t at = 0;
    std::size_t piece = 1;
    while (at < stream.size()) {
        const std::size_t n = std::min(piece, stream.size() - at);
        run.peer.Write(std::span(stream).subspan(at, n));
        at += n;
        piece = piece * 3 % 211 + 1;
        if (at % 5 == 0) {
            std::this_thread::sleep_for(1ms);
        }
    }
    ASSERT_TRUE(run.WaitForLogSize(expectedLog.size(), 5s));
    thread.Stop();
    EXPECT_EQ(run.log.Contents(), expectedLog);
    EXPECT_EQ(run.status.Line(StatusLine::Count), "3");
    EXPECT_EQ(run.status.Line(StatusLine::Outcome), "Label2");
}

// After the peer hangs up, the thread stays idle: it neither spins on the dead line nor ends.
TEST(ReceivePty, AHungUpPeerLeavesTheThreadIdle) {
    PtyRun run;
    ASSERT_NE(run.port, INVALID_HANDLE_VALUE);
    ReceiverThread thread(run.port, run.log.Handle(), run.status, Start::Listen);
    run.peer.Write(Framed(kPbnLayout, PbnBodyBytes(1)));
    ASSERT_TRUE(run.WaitForLogSize(62, 2s));
    run.peer.HangUp();

    std::this_thread::sleep_for(100ms);
    const double before = ThreadCpuMs(thread.NativeHandle());
    std::this_thread::sleep_for(2s);
    const double used = ThreadCpuMs(thread.NativeHandle()) - before;
    // 0.5 % of two seconds.
    EXPECT_LT(used, 10.0) << "the receive thread used " << used << " ms of CPU in 2 s";
    EXPECT_TRUE(thread.Running());
    const auto stopStart = std::chrono::steady_clock::now();
    thread.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - stopStart, 500ms) << "CancelPortWait is prompt";
}

}  // namespace
