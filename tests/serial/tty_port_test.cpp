// A pseudo-terminal behind "COM3": exclusive opening, line settings, time-outs, line events.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "platform/serial/win32_comm.hpp"
#include "receiver/line_events.hpp"
#include "tests/support/com3.hpp"
#include "tests/support/controlling_terminal.hpp"
#include "tests/support/pseudo_terminal.hpp"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

void SetReadTimeouts(HANDLE port, DWORD interval, DWORD multiplier, DWORD constant) {
    COMMTIMEOUTS t{};
    ASSERT_TRUE(GetCommTimeouts(port, &t));
    t.ReadIntervalTimeout = interval;
    t.ReadTotalTimeoutMultiplier = multiplier;
    t.ReadTotalTimeoutConstant = constant;
    ASSERT_TRUE(SetCommTimeouts(port, &t));
}

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

class TtyPortTest : public testing::Test {
  protected:
    void SetUp() override {
        port_ = OpenCom3(peer_.Path());
        ASSERT_NE(port_, INVALID_HANDLE_VALUE);
    }
    void TearDown() override { CloseHandle(port_); }

    PseudoTerminal peer_;
    HANDLE port_ = INVALID_HANDLE_VALUE;
};

TEST_F(TtyPortTest, OpeningIsExclusive) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(OpenCom3(peer_.Path()), INVALID_HANDLE_VALUE);
    const std::string message = testing::internal::GetCapturedStderr();
    EXPECT_NE(message.find("busy"), std::string::npos) << message;

    // Another program: refused by TIOCEXCL, or (root passes TIOCEXCL) by the lock.
    const int fd = ::open(peer_.Path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd >= 0) {
        EXPECT_NE(::flock(fd, LOCK_EX | LOCK_NB), 0);
        EXPECT_EQ(errno, EWOULDBLOCK);
        ::close(fd);
    } else {
        EXPECT_EQ(errno, EBUSY);
    }
}

// The exclusive mode is the terminal's, not the descriptor's: it must end with the port, or a
// second satlog on the same line is refused as busy after the first has closed.
TEST(TtyPortOpening, ClosingEndsTheExclusiveMode) {
    PseudoTerminal peer;
    const int watcher = ::open(peer.Path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(watcher, 0);
    const HANDLE port = OpenCom3(peer.Path());
    ASSERT_NE(port, INVALID_HANDLE_VALUE);
    int exclusive = 0;
    ASSERT_EQ(::ioctl(watcher, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1);
    CloseHandle(port);
    ASSERT_EQ(::ioctl(watcher, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    ::close(watcher);
}

// The terminal the program was started from is refused by either of its names.
TEST(TtyPortOpening, TheControllingTerminalIsRefused) {
    PseudoTerminal terminal;
    for (const std::string& name : {std::string("/dev/tty"), terminal.Path()}) {
        EXPECT_TRUE(CheckWithControllingTerminal(terminal.Path(), [&] {
            testing::internal::CaptureStderr();
            const HANDLE port = OpenCom3(name);
            const std::string said = testing::internal::GetCapturedStderr();
            return port == INVALID_HANDLE_VALUE &&
                   said.find("controlling terminal") != std::string::npos;
        })) << name;
    }
}

TEST_F(TtyPortTest, TheLineSettingsRoundTripThroughTheDriver) {
    DCB dcb{};
    ASSERT_TRUE(GetCommState(port_, &dcb));
    EXPECT_EQ(dcb.DCBlength, sizeof(DCB));
    for (DWORD baud : {CBR_9600, CBR_19200, CBR_38400, CBR_57600, CBR_115200}) {
        dcb.BaudRate = baud;
        ASSERT_TRUE(SetCommState(port_, &dcb));
        DCB back{};
        ASSERT_TRUE(GetCommState(port_, &back));
        EXPECT_EQ(back.BaudRate, baud);
    }

    // Handshakes: CTS/RTS and XON/XOFF are the driver's; the DSR and DTR settings, which the
    // driver cannot hold, come back as set.
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fOutxCtsFlow = 1;
    dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    dcb.fOutxDsrFlow = 1;
    dcb.fDsrSensitivity = 1;
    dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
    dcb.fOutX = 1;
    dcb.fInX = 0;
    ASSERT_TRUE(SetCommState(port_, &dcb));
    DCB back{};
    ASSERT_TRUE(GetCommState(port_, &back));
    EXPECT_EQ(back.fOutxCtsFlow, 1u);
    EXPECT_EQ(back.fRtsControl, RTS_CONTROL_HANDSHAKE);
    EXPECT_EQ(back.fOutxDsrFlow, 1u);
    EXPECT_EQ(back.fDsrSensitivity, 1u);
    EXPECT_EQ(back.fDtrControl, DTR_CONTROL_HANDSHAKE);
    EXPECT_EQ(back.fOutX, 1u);
    EXPECT_EQ(back.fInX, 0u);
    EXPECT_EQ(back.ByteSize, 8);
    EXPECT_EQ(back.Parity, NOPARITY);
    EXPECT_EQ(back.StopBits, ONESTOPBIT);

    dcb.fOutxCtsFlow = 0;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fOutX = 0;
    dcb.fInX = 1;
    ASSERT_TRUE(SetCommState(port_, &dcb));
    ASSERT_TRUE(GetCommState(port_, &back));
    EXPECT_EQ(back.fOutxCtsFlow, 0u);
    EXPECT_EQ(back.fRtsControl, RTS_CONTROL_ENABLE);
    EXPECT_EQ(back.fOutX, 0u);
    EXPECT_EQ(back.fInX, 1u);

    dcb.BaudRate = 12345;
    EXPECT_FALSE(SetCommState(port_, &dcb));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(TtyPortTest, AnImmediateReadReturnsAtOnceWithWhatIsBuffered) {
    SetReadTimeouts(port_, MAXDWORD, 0, 0);
    char buffer[16];
    DWORD n = 99;
    const auto start = Clock::now();
    ASSERT_TRUE(ReadFile(port_, buffer, sizeof buffer, &n, nullptr));
    EXPECT_EQ(n, 0u);
    EXPECT_LT(Ms(Clock::now() - start), 10.0);

    peer_.Write("abc");
    std::this_thread::sleep_for(20ms);
    ASSERT_TRUE(ReadFile(port_, buffer, sizeof buffer, &n, nullptr));
    EXPECT_EQ(std::string(buffer, n), "abc");
}

// 50 ms between bytes: no limit for the first byte, then the read ends 50 ms after the last one.
TEST_F(TtyPortTest, AnIntervalTimeoutEndsTheReadFiftyMillisecondsAfterTheLastByte) {
    SetReadTimeouts(port_, 50, 0, 0);
    std::promise<Clock::time_point> lastWrite;
    std::thread writer([&] {
        std::this_thread::sleep_for(120ms);  // longer than the interval: the first byte waits
        peer_.Write("abc");
        std::this_thread::sleep_for(30ms);
        peer_.Write("de");
        lastWrite.set_value(Clock::now());
    });
    char buffer[16];
    DWORD n = 0;
    ASSERT_TRUE(ReadFile(port_, buffer, sizeof buffer, &n, nullptr));
    const auto returned = Clock::now();
    writer.join();
    EXPECT_EQ(std::string(buffer, n), "abcde");
    const double after = Ms(returned - lastWrite.get_future().get());
    EXPECT_GE(after, 49.0);
    EXPECT_LT(after, 80.0);

    // The count arriving ends the read at once.
    peer_.Write("0123456789");
    const auto start = Clock::now();
    ASSERT_TRUE(ReadFile(port_, buffer, 10, &n, nullptr));
    EXPECT_EQ(n, 10u);
    EXPECT_LT(Ms(Clock::now() - start), 20.0);
}

TEST_F(TtyPortTest, TotalTimeouts) {
    char buffer[16];
    DWORD n = 99;
    SetReadTimeouts(port_, 0, 10, 60);  // 60 + 10 per byte: 100 ms for 4 bytes
    auto start = Clock::now();
    ASSERT_TRUE(ReadFile(port_, buffer, 4, &n, nullptr));
    EXPECT_EQ(n, 0u);
    EXPECT_GE(Ms(Clock::now() - start), 99.0);
    EXPECT_LT(Ms(Clock::now() - start), 150.0);

    // MAXDWORD/MAXDWORD/c: returns as soon as a byte is there.
    SetReadTimeouts(port_, MAXDWORD, MAXDWORD, 1000);
    std::thread writer([&] {
        std::this_thread::sleep_for(50ms);
        peer_.Write("z");
    });
    start = Clock::now();
    ASSERT_TRUE(ReadFile(port_, buffer, sizeof buffer, &n, nullptr));
    writer.join();
    EXPECT_EQ(std::string(buffer, n), "z");
    EXPECT_LT(Ms(Clock::now() - start), 200.0);
}

TEST_F(TtyPortTest, ReceivedCharactersAreReportedWhileTheyWaitUnread) {
    ASSERT_TRUE(SetCommMask(port_, EV_RXCHAR | EV_TXEMPTY | EV_CTS));
    peer_.Write("x");
    DWORD events = 0;
    ASSERT_TRUE(WaitCommEvent(port_, &events, nullptr));
    EXPECT_EQ(events, EV_RXCHAR);
    ASSERT_TRUE(WaitCommEvent(port_, &events, nullptr));
    EXPECT_EQ(events, EV_RXCHAR) << "level-triggered: the byte is still unread";

    ASSERT_TRUE(PurgeComm(port_, PURGE_TXCLEAR | PURGE_RXCLEAR));
    SetReadTimeouts(port_, MAXDWORD, 0, 0);
    char byte = 0;
    DWORD n = 99;
    ASSERT_TRUE(ReadFile(port_, &byte, 1, &n, nullptr));
    EXPECT_EQ(n, 0u) << "the purge discarded the byte";

    DWORD written = 0;
    ASSERT_TRUE(WriteFile(port_, "$PASHS,RCI,1\r\n", 14, &written, nullptr));
    EXPECT_EQ(written, 14u);
    ASSERT_TRUE(WaitCommEvent(port_, &events, nullptr));
    EXPECT_EQ(events, EV_TXEMPTY);
    EXPECT_EQ(peer_.ReadUntilQuiet(50ms),
              std::vector<std::uint8_t>(
                  {'$', 'P', 'A', 'S', 'H', 'S', ',', 'R', 'C', 'I', ',', '1', '\r', '\n'}));
}

TEST_F(TtyPortTest, CancelPortWaitWakesBlockedCallsAndLaterOnesFailAtOnce) {
    ASSERT_TRUE(SetCommMask(port_, kLineEvents));
    auto wait = std::async(std::launch::async, [&] {
        DWORD events = 0;
        return WaitCommEvent(port_, &events, nullptr);
    });
    EXPECT_EQ(wait.wait_for(100ms), std::future_status::timeout) << "a silent port blocks";
    const auto start = Clock::now();
    ASSERT_TRUE(CancelPortWait(port_));
    EXPECT_FALSE(wait.get());
    EXPECT_LT(Ms(Clock::now() - start), 50.0);

    DWORD events = 0;
    EXPECT_FALSE(WaitCommEvent(port_, &events, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_OPERATION_ABORTED);
    SetReadTimeouts(port_, 50, 0, 0);
    char byte = 0;
    DWORD n = 0;
    EXPECT_FALSE(ReadFile(port_, &byte, 1, &n, nullptr));
}

}  // namespace
