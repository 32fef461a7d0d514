#include "app/program_entry.hpp"

#include <chrono>

#include "app/logging_signals.hpp"
#include "app/main_form.hpp"
#include "platform/forms/application.hpp"

namespace {

// How long the close waits for the receive thread once told to stop. The thread wakes from its
// wait on the port at once on every platform we know; a driver that ignores every cancellation
// would leave it blocked, and the process alive without a window, holding COM3. After the bound
// the process ends without it. Nothing is lost that way: every raw-log entry goes to the file
// in one write call and the system keeps no buffer of its own, so the log holds only whole
// entries, and the status lines die with the window.
constexpr std::chrono::milliseconds kReceiveThreadStopLimit{1000};

}  // namespace

int RunSatlog() {
    IgnoreSignalsThatWouldStopLogging();
    try {
        Application->SetThreadStopLimit(kReceiveThreadStopLimit);
        Application->Initialize();
        Application->CreateForm(Form1);
        Application->Run();
    } catch (Exception& exception) {
        Application->ShowException(&exception);
    }
    return 0;
}
