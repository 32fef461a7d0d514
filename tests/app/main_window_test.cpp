// The main window as built, off screen: its frame, its controls, the start-up texts for a port
// present, absent and busy and a log that can or cannot be created, START working once, and
// captions written from another thread.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QWidget>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "app/main_form.hpp"
#include "app/port_and_log.hpp"
#include "platform/forms/application.hpp"
#include "platform/forms/qt/native_qt.hpp"
#include "platform/forms/thread.hpp"
#include "receiver/line_events.hpp"
#include "tests/support/pseudo_terminal.hpp"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

class MainWindow : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        Application->Initialize();
    }

    void SetUp() override {
        previous_ = fs::current_path();
        directory_ = fs::temp_directory_path() /
                     ("satlog-window-" + std::to_string(getpid()) + "-" +
                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(directory_);
        fs::create_directories(directory_);
        fs::current_path(directory_);
        setenv("SATLOG_COM3", pty_.Path().c_str(), 1);
        unsetenv("SATLOG_LAYOUT_TFORM1");
    }

    void TearDown() override {
        TThread::TerminateAndWaitAll();
        delete Form1;
        EXPECT_EQ(Form1, nullptr);
        for (HANDLE* handle : {&portHandle, &logHandle}) {
            if (*handle != INVALID_HANDLE_VALUE) {
                CloseHandle(*handle);
                *handle = INVALID_HANDLE_VALUE;
            }
        }
        fs::current_path(previous_);
        fs::remove_all(directory_);
        unsetenv("SATLOG_LAYOUT_TFORM1");
    }

    // Builds the window as the entry does; returns what went to standard error meanwhile.
    std::string CreateMainForm() {
        ::testing::internal::CaptureStderr();
        try {
            Application->CreateForm(Form1);
        } catch (...) {
            ::testing::internal::GetCapturedStderr();
            throw;
        }
        return ::testing::internal::GetCapturedStderr();
    }

    static QString LabelText(TLabel* label) {
        return static_cast<QLabel*>(WidgetOf(*label))->text();
    }

    PseudoTerminal pty_;
    fs::path previous_;
    fs::path directory_;
};

void ExpectBounds(TControl* control, int left, int top, int width, int height) {
    ASSERT_NE(WidgetOf(*control), nullptr);
    EXPECT_EQ(WidgetOf(*control)->geometry(), QRect(left, top, width, height)) << control->Name();
}

// Reads what the program sent to the receiver's end of the line, for up to `limit`.
std::string ReadLine(int fd, std::chrono::milliseconds limit, const std::string& until) {
    std::string received;
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (received.find(until) == std::string::npos) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0) {
            break;
        }
        char buffer[256];
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        received.append(buffer, static_cast<size_t>(n));
    }
    return received;
}

}  // namespace

TEST_F(MainWindow, FrameAndControlsAsLaidOut) {
    CreateMainForm();
    ASSERT_NE(Form1, nullptr);
    QWidget* window = WidgetOf(*Form1);
    EXPECT_EQ(window->windowTitle(), QString("Com3"));
    EXPECT_EQ(window->size(), QSize(383, 112));
    EXPECT_FALSE(window->isVisible()) << "hidden until the message loop shows it";
    EXPECT_EQ(Form1->Left(), 207);
    EXPECT_EQ(Form1->Top(), 51);

    // A fixed border: the size cannot change, whatever is asked of the window.
    EXPECT_EQ(window->minimumSize(), QSize(383, 112));
    EXPECT_EQ(window->maximumSize(), QSize(383, 112));
    EXPECT_TRUE(window->windowFlags().testFlag(Qt::MSWindowsFixedSizeDialogHint));
    EXPECT_FALSE(window->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    Form1->Show();
    window->resize(600, 400);
    QApplication::processEvents();
    EXPECT_EQ(window->size(), QSize(383, 112));
    Form1->Close();

    ExpectBounds(Form1->Label1, 24, 8, 121, 25);
    ExpectBounds(Form1->Label2, 24, 40, 121, 25);
    ExpectBounds(Form1->Label3, 24, 72, 121, 25);
    ExpectBounds(Form1->Button4, 280, 16, 89, 25);
    EXPECT_EQ(Form1->Button4->Caption(), "START");
    EXPECT_TRUE(Form1->Button4->Enabled());
    EXPECT_EQ(LabelText(Form1->Label3), QString("Label3"));

    // Characters 11 pixels high, in MS Sans Serif where the desktop has it, else the face the
    // desktop picks for sans-serif.
    for (TControl* control :
         {static_cast<TControl*>(Form1->Label1), static_cast<TControl*>(Form1->Button4)}) {
        QFont font = WidgetOf(*control)->font();
        EXPECT_EQ(font.pixelSize(), 11) << control->Name();
        QFont generic;
        generic.setFamily("sans-serif");
        generic.setStyleHint(QFont::SansSerif);
        QString expected = QFontDatabase::hasFamily("MS Sans Serif") ? QString("MS Sans Serif")
                                                                     : QFontInfo(generic).family();
        EXPECT_EQ(QFontInfo(font).family(), expected) << control->Name();
    }
}

TEST_F(MainWindow, LabelsCutLongTextAtTheirEdge) {
    CreateMainForm();
    auto* label = static_cast<QLabel*>(WidgetOf(*Form1->Label1));
    const std::string longText(200, 'W');
    Form1->Label1->SetCaption(longText);
    EXPECT_EQ(Form1->Label1->Caption(), longText);
    EXPECT_EQ(label->text().toStdString(), longText);
    EXPECT_EQ(label->size(), QSize(121, 25)) << "the label keeps its size";
    EXPECT_FALSE(label->wordWrap());
    EXPECT_GT(label->sizeHint().width(), 121) << "the text is wider than the label";
    // Markup is shown as text, not interpreted.
    Form1->Label2->SetCaption("<b>x</b>");
    EXPECT_EQ(static_cast<QLabel*>(WidgetOf(*Form1->Label2))->textFormat(), Qt::PlainText);
}

TEST_F(MainWindow, PortPresentAndLogCreated) {
    {
        std::ofstream old("mavu0.txt");
        old << "an older session";
    }
    std::string errors = CreateMainForm();
    EXPECT_EQ(LabelText(Form1->Label1), QString("COM3 Open"));
    EXPECT_EQ(LabelText(Form1->Label2), QString("SetCommState Success"));
    EXPECT_EQ(LabelText(Form1->Label3), QString("Label3"));
    EXPECT_EQ(errors, "");
    EXPECT_TRUE(fs::exists("mavu0.txt"));
    EXPECT_EQ(fs::file_size("mavu0.txt"), 0u) << "emptied at every start";

    // The line as the receiver needs it.
    DCB dcb{};
    ASSERT_NE(GetCommState(portHandle, &dcb), 0);
    EXPECT_EQ(dcb.BaudRate, 19200u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
    EXPECT_EQ(dcb.fOutxCtsFlow, 1u);
    EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_HANDSHAKE));
    EXPECT_EQ(dcb.fOutX, 0u);
    EXPECT_EQ(dcb.fInX, 0u);
    DWORD mask = 0;
    ASSERT_NE(GetCommMask(portHandle, &mask), 0);
    EXPECT_EQ(mask, kLineEvents);

    // Another program may read the log but not write it, and cannot open the port.
    HANDLE reader = CreateFileA("mavu0.txt", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(reader, INVALID_HANDLE_VALUE);
    CloseHandle(reader);
    HANDLE writer = CreateFileA("mavu0.txt", GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                0, nullptr);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
    ::testing::internal::CaptureStderr();
    HANDLE second =
        CreateFileA("COM3", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(second, INVALID_HANDLE_VALUE);
}

TEST_F(MainWindow, PortAbsent) {
    setenv("SATLOG_COM3", (directory_ / "no-such-tty").c_str(), 1);
    std::string errors = CreateMainForm();
    EXPECT_EQ(LabelText(Form1->Label1), QString("COM3 Open Error"));
    EXPECT_EQ(LabelText(Form1->Label2), QString("SetCommState Error"));
    EXPECT_EQ(LabelText(Form1->Label3), QString("Label3"));
    EXPECT_EQ(portHandle, INVALID_HANDLE_VALUE);
    EXPECT_NE(errors.find((directory_ / "no-such-tty").string()), std::string::npos) << errors;
    EXPECT_TRUE(fs::exists("mavu0.txt")) << "the log is created all the same";

    // START still starts a receive thread, on the invalid handle, and it still stops promptly.
    ASSERT_TRUE(Form1->Button4->Enabled());
    Form1->Button4->Click();
    EXPECT_EQ(TThread::RunningCount(), 1);
    std::this_thread::sleep_for(200ms);
    auto begin = std::chrono::steady_clock::now();
    TThread::TerminateAndWaitAll();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 1s);
    EXPECT_EQ(TThread::RunningCount(), 0);
}

TEST_F(MainWindow, PortBusy) {
    ::testing::internal::CaptureStderr();
    HANDLE other =
        CreateFileA("COM3", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ::testing::internal::GetCapturedStderr();
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    std::string errors = CreateMainForm();
    CloseHandle(other);
    EXPECT_EQ(LabelText(Form1->Label1), QString("COM3 Open Error"));
    EXPECT_EQ(LabelText(Form1->Label2), QString("SetCommState Error"));
    EXPECT_NE(errors.find(pty_.Path()), std::string::npos) << errors;
    EXPECT_NE(errors.find("busy"), std::string::npos) << errors;
}

// A record header may hold any byte: each is shown as one character of the Windows code page,
// never dropped or merged into a replacement character as malformed UTF-8 would be.
TEST_F(MainWindow, EveryHeaderByteIsShownAsOneCharacter) {
    CreateMainForm();
    Form1->Label1->SetCaption("\x80,\xE9\xFF\x81");
    EXPECT_EQ(LabelText(Form1->Label1), QString::fromUtf16(u"\u20AC,\u00E9\u00FF\u0081"));
}

TEST_F(MainWindow, LogThatCannotBeCreatedIsShownAndExplained) {
    fs::create_directory("mavu0.txt");  // a directory holds the name
    std::string errors = CreateMainForm();
    EXPECT_EQ(LabelText(Form1->Label1), QString("COM3 Open"));
    EXPECT_EQ(LabelText(Form1->Label2), QString("SetCommState Success"));
    EXPECT_EQ(LabelText(Form1->Label3), QString("mavu0.txt Create Error"));
    EXPECT_EQ(logHandle, INVALID_HANDLE_VALUE);
    EXPECT_NE(errors.find("cannot create mavu0.txt in " + directory_.string()), std::string::npos)
        << errors;
    EXPECT_NE(errors.find(std::strerror(EISDIR)), std::string::npos) << errors;
}

TEST_F(MainWindow, StartRunsOneReceiveThreadAndStopsPromptly) {
    CreateMainForm();
    Form1->Show();
    Form1->Button4->Click();
    EXPECT_FALSE(Form1->Button4->Enabled());
    EXPECT_EQ(TThread::RunningCount(), 1);
    // The thread works on the port: the receiver gets its first command.
    EXPECT_NE(ReadLine(pty_.Fd(), 3s, "$PASHS").find("$PASHS"), std::string::npos);

    Form1->Button4->Click();  // a second press starts nothing
    QApplication::processEvents();
    EXPECT_EQ(TThread::RunningCount(), 1);

    // The receiver stays silent: the thread waits, and still stops at once when asked.
    auto begin = std::chrono::steady_clock::now();
    TThread::TerminateAndWaitAll();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 1s);
    EXPECT_EQ(TThread::RunningCount(), 0);
}

TEST_F(MainWindow, CaptionsFromAnotherThreadReachTheWindowWhole) {
    CreateMainForm();
    Form1->Show();
    constexpr int kCaptions = 20000;
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; i <= kCaptions; ++i) {
            Form1->Label3->SetCaption(std::to_string(i) + " satellites");
        }
        done = true;
    });
    auto* label = static_cast<QLabel*>(WidgetOf(*Form1->Label3));
    int shown = -1;
    auto deadline = std::chrono::steady_clock::now() + 20s;
    while (shown != kCaptions && std::chrono::steady_clock::now() < deadline) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        QString text = label->text();
        if (text == "Label3") {
            continue;
        }
        // Every text the window shows is one caption in full.
        ASSERT_TRUE(text.endsWith(" satellites")) << text.toStdString();
        int value = text.section(' ', 0, 0).toInt();
        ASSERT_GE(value, shown) << "captions appear in the order written";
        shown = value;
    }
    writer.join();
    EXPECT_EQ(shown, kCaptions);
}

TEST_F(MainWindow, IconIsOurOwn32x32In16Colours) {
    QImage icon(":/satlog/MAINICON");
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(icon.size(), QSize(32, 32));
    QSet<QRgb> colours;
    for (int y = 0; y < icon.height(); ++y) {
        for (int x = 0; x < icon.width(); ++x) {
            colours.insert(icon.pixel(x, y));
        }
    }
    EXPECT_LE(colours.size(), 16);
    EXPECT_GE(colours.size(), 4) << "a drawing, not a blank";
    EXPECT_FALSE(QApplication::windowIcon().isNull());
}

TEST_F(MainWindow, UnreadableLayoutRaisesBeforeThePortIsOpened) {
    std::ofstream("broken.layout") << "object Form1: TForm1\n  Caption = 'Com3'\n";
    setenv("SATLOG_LAYOUT_TFORM1", (directory_ / "broken.layout").c_str(), 1);
    EXPECT_THROW(CreateMainForm(), Exception);
    EXPECT_EQ(Form1, nullptr);
    EXPECT_FALSE(fs::exists("mavu0.txt")) << "the form's own construction never began";

    std::ofstream("unknown.layout") << "object Form1: TForm1\n  object X: TEdit\n  end\nend\n";
    setenv("SATLOG_LAYOUT_TFORM1", (directory_ / "unknown.layout").c_str(), 1);
    try {
        CreateMainForm();
        FAIL() << "no exception";
    } catch (const Exception& exception) {
        EXPECT_NE(exception.Message().find("Class TEdit not found"), std::string::npos);
    }

    // A layout without the START button's handler cannot build TForm1's window.
    std::ofstream("nobutton.layout")
        << "object Form1: TForm1\n  object Label1: TLabel\n  end\n  object Label2: TLabel\n"
           "  end\n  object Label3: TLabel\n  end\nend\n";
    setenv("SATLOG_LAYOUT_TFORM1", (directory_ / "nobutton.layout").c_str(), 1);
    EXPECT_THROW(CreateMainForm(), Exception);
    EXPECT_EQ(Form1, nullptr);
}
