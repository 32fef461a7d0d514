// The Win32 side of forms and controls: a form's window is a top-level window of the forms'
// window class, a control a child window (STATIC or BUTTON) of it. For the Win32 backend only.
#pragma once

#include <windows.h>

#include <atomic>
#include <optional>

#include "platform/forms/controls.hpp"
#include "platform/forms/form.hpp"

struct TForm::Native {
    HWND window = nullptr;
    HFONT font = nullptr;               // the layout's font, shared by the controls; owned
    std::optional<COLORREF> textColor;  // none: the desktop's text colour
};

struct TControl::Native {
    HWND window = nullptr;
    // A label's caption set on another thread waits for the window's thread.
    std::atomic<bool> captionPosted{false};
};

inline HWND HandleOf(const TForm& form) noexcept {
    return form.NativePart().window;
}

inline HWND HandleOf(const TControl& control) noexcept {
    return control.NativePart().window;
}

// The window's thread: shows the captions that other threads set on the form's labels.
void ShowPostedCaptions(TForm& form);
