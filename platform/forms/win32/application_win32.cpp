#include "application.hpp"

#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <string>

#include "form_window.hpp"
#include "thread.hpp"
#include "wide_text.hpp"

namespace {
constexpr const char* kProgramName = "satlog";
}  // namespace

// Never destroyed: the application object finishes its work at the end of Run, and whatever an
// exception left behind is reclaimed with the process.
TApplication* Application = new TApplication;

struct TApplication::Desktop {
    bool initialized = false;
};

void EnsureApplicationObject() {
    Application->Initialize();
}

TApplication::TApplication() : TComponent(nullptr), desktop_(std::make_unique<Desktop>()) {}

TApplication::~TApplication() {
    TThread::TerminateAndWaitAll();
    DestroyComponents();
}

void TApplication::Initialize() {
    if (desktop_->initialized) {
        return;
    }
    // Loads the common controls of the program's manifest, so that buttons take the desktop's
    // current visual style.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    RegisterFormWindowClass();
    desktop_->initialized = true;
}

void TApplication::FormCreated(TForm* form, std::function<void()> forgetReference) {
    try {
        form->CheckEventsPublished();
    } catch (...) {
        forgetReference();
        delete form;
        throw;
    }
    if (mainForm_ == nullptr) {
        mainForm_ = form;
        forgetMainFormReference_ = std::move(forgetReference);
    }
}

// Called by every form as it is destroyed.
void ForgetForm(TForm* form) {
    TApplication& application = *Application;
    if (application.mainForm_ == form) {
        application.mainForm_ = nullptr;
        if (application.forgetMainFormReference_) {
            application.forgetMainFormReference_();
            application.forgetMainFormReference_ = nullptr;
        }
    }
}

void TApplication::Run() {
    if (mainForm_ == nullptr || !desktop_->initialized) {
        return;
    }
    mainForm_->Show();
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        // Tab moves the focus between the controls and the space bar presses the focused button,
        // as in a dialog box.
        if (IsDialogMessageW(mainForm_->Handle(), &message) == 0) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    // The window is closed: stop the workers before any of them can reach a destroyed control.
    // They post their captions rather than send them, so none waits for this thread meanwhile.
    TThread::TerminateAndWaitAll();
    DestroyComponents();
}

void TApplication::ShowException(const Exception* E) {
    const std::string& message = E != nullptr ? E->Message() : std::string("unknown error");
    std::fprintf(stderr, "%s: %s\n", kProgramName, message.c_str());
    std::fflush(stderr);
    MessageBoxW(nullptr, Widen(message).c_str(), Widen(kProgramName).c_str(),
                MB_OK | MB_ICONERROR | MB_TASKMODAL);
}
