// The configuration sequence against a scripted receiver.
#include <gtest/gtest.h>

#include "tests/receive/receive_harness.hpp"
#include "tests/support/thread_cpu.hpp"

namespace {

const Bytes kRci = Text("$PASHS,RCI,1\r\n");
const Bytes kElm = Text("$PASHS,ELM,15\r\n");
const Bytes kOutA = Text("$PASHS,OUT,A\r\n");
const Bytes kOutputs = Text("$PASHS,OUT,A,SNV,PBN,MBN,BIN\r\n");

using Call = ScriptedSerialDevice::Call;
using CallKind = ScriptedSerialDevice::CallKind;

TEST(ConfigureReceiver, SendsTheFourCommandsInOrderWithPurgesAndWaits) {
    ScriptedRun run;
    run.device->AwaitWrite().Send("ack1").AwaitWrite().Send("ack2").AwaitWrite().Send("ack3");
    run.Run(ReceiverThread::Start::Configure);

    const std::vector<Bytes> writes = run.device->Writes();
    ASSERT_EQ(writes.size(), 4u);
    EXPECT_EQ(writes[0], kRci);
    EXPECT_EQ(writes[1], kElm);
    EXPECT_EQ(writes[2], kOutA);
    EXPECT_EQ(writes[3], kOutputs);
    EXPECT_EQ(kRci.size(), 14u);
    EXPECT_EQ(kElm.size(), 15u);
    EXPECT_EQ(kOutA.size(), 14u);
    EXPECT_EQ(kOutputs.size(), 30u);

    // Immediate reads first; a purge of both queues before each of commands 1 to 3; a wait that
    // only a report with received characters ends (the transmit-empty report does not); no
    // purge or wait between command 4 and the listen loop's first wait.
    std::vector<std::string> sequence;
    for (const Call& call : run.device->Calls()) {
        switch (call.kind) {
            case CallKind::SetTimeouts:
                sequence.push_back("timeouts " + std::to_string(call.value));
                break;
            case CallKind::Purge:
                sequence.push_back("purge " + std::to_string(call.value));
                break;
            case CallKind::Write:
                sequence.push_back("write " + std::to_string(call.value));
                break;
            case CallKind::Wait:
                sequence.push_back("wait " + std::to_string(call.value));
                break;
            case CallKind::Read:
                sequence.push_back("read");
                break;
            case CallKind::GetState:
            case CallKind::SetState:
            case CallKind::SetMask:
                break;  // the line set-up, before the configuration
        }
    }
    const std::vector<std::string> expected = {
        "timeouts 4294967295",
        "purge 12",
        "write 14",
        "wait 4",
        "wait 1",
        "purge 12",
        "write 15",
        "wait 4",
        "wait 1",
        "purge 12",
        "write 14",
        "wait 4",
        "wait 1",
        "write 30",
        // The listen loop: the answer to command 3 is still unread and is scanned.
        "wait 5",
        "read",
        "read",
        "read",
        "read",
        "read",
    };
    EXPECT_EQ(sequence, expected);
    EXPECT_TRUE(run.status.Changes().empty()) << "nothing is shown while configuring";
}

TEST(ConfigureReceiver, AReceiverThatAnswersOnlyCommandOneKeepsTheThreadAfterCommandTwo) {
    ScriptedRun run;
    run.device->AwaitWrite().Send("ack1").Signal(EV_CTS);  // a line event is not an answer
    run.Run(ReceiverThread::Start::Configure);

    const std::vector<Bytes> writes = run.device->Writes();
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[1], kElm);
    EXPECT_TRUE(run.status.Changes().empty());
}

TEST(ConfigureReceiver, PurgesDropEarlierAnswersAndTheAnswerToCommandThreeReachesTheLoop) {
    const Bytes early = Framed(kPbnLayout, PbnBodyBytes(1000));
    const Bytes afterThree = Framed(kPbnLayout, PbnBodyBytes(2000));
    const Bytes afterFour = Framed(kPbnLayout, PbnBodyBytes(3000));

    ScriptedRun run;
    run.device->AwaitWrite().Send(Concat({Text("ack1"), early}));
    run.device->AwaitWrite().Send(Concat({Text("ack2"), early}));
    run.device->AwaitWrite().Send(Concat({Text("ack3"), afterThree}));
    run.device->AwaitWrite().Send(afterFour);
    run.Run(ReceiverThread::Start::Configure);

    EXPECT_EQ(run.device->BytesPurged(), 2 * (4 + early.size()));
    EXPECT_EQ(run.log.Contents(), Concat({LogEntry(kPbnLayout, PbnBodyBytes(2000)),
                                          LogEntry(kPbnLayout, PbnBodyBytes(3000))}));
}

TEST(ConfigureReceiver, AfterTheSequenceAReadOnAnEmptyQueueReturnsAtOnce) {
    ScriptedRun run;
    run.device->AwaitWrite().Send("a").AwaitWrite().Send("b").AwaitWrite().Send("c");
    ReceiveState state;
    SetCommMask(run.port, kLineEvents);
    ConfigureReceiver(run.port, state);
    // "c" is still queued: read it, then the queue is empty.
    std::uint8_t byte = 0;
    DWORD count = 0;
    ASSERT_TRUE(ReadFile(run.port, &byte, 1, &count, nullptr));
    EXPECT_EQ(count, 1u);
    const auto before = run.device->Now();
    ASSERT_TRUE(ReadFile(run.port, &byte, 1, &count, nullptr));
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(run.device->Now(), before) << "an immediate read waits for nothing";
}

TEST(ConfigureReceiver, OnAPortThatFailedToOpenTheWaitSleepsAndStopEndsIt) {
    ScratchLog log;
    SynchronizedStatusLines status;
    std::atomic<bool> stop{false};
    std::thread thread([&] { RunReceiveThread(INVALID_HANDLE_VALUE, log.Handle(), status, stop); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const double cpuMs = ThreadCpuMs(thread.native_handle());
    stop = true;
    CancelPortWait(INVALID_HANDLE_VALUE);
    thread.join();
    ASSERT_GE(cpuMs, 0.0) << "the thread's CPU clock cannot be read";
    EXPECT_LT(cpuMs, 20.0) << "the failing wait spun";
    EXPECT_TRUE(status.Changes().empty());
    EXPECT_TRUE(log.Contents().empty());
}

}  // namespace
