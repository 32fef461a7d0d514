#include <windows.h>

#include <commctrl.h>

#include <string>

#include "platform/forms/application.hpp"
#include "platform/forms/win32/form_window.hpp"
#include "platform/forms/win32/native_win32.hpp"
#include "platform/forms/win32/wide_text.hpp"

struct TApplication::Desktop {
    bool initialized = false;
};

TApplication::TApplication() : TComponent(nullptr), desktop_(std::make_unique<Desktop>()) {}

TApplication::~TApplication() {
    StopThreads();
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

void TApplication::Run() {
    if (mainForm_ == nullptr || !desktop_->initialized) {
        return;
    }
    mainForm_->Show();
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        // Tab moves the focus between the controls and the space bar presses the focused button,
        // as in a dialog box.
        if (IsDialogMessageW(HandleOf(*mainForm_), &message) == 0) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    // The window is closed: stop the workers before any of them can reach a destroyed control.
    // They post their captions rather than send them, so none waits for this thread meanwhile.
    StopThreads();
    DestroyComponents();
}

void TApplication::ShowErrorBox(const std::string& message) {
    MessageBoxW(nullptr, Widen(message).c_str(), Widen(kProgramName).c_str(),
                MB_OK | MB_ICONERROR | MB_TASKMODAL);
}
