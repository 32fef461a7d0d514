#include <windows.h>

#include "platform/forms/form.hpp"
#include "platform/forms/win32/form_window.hpp"
#include "platform/forms/win32/native_win32.hpp"
#include "platform/forms/win32/wide_text.hpp"

void TForm::NativeDeleter::operator()(Native* native) const noexcept {
    if (native->window != nullptr) {
        // The form no longer answers its window's messages (it is going, and its native part
        // is already out of reach): what the window still gets while it is destroyed goes to the
        // default procedure.
        SetWindowLongPtrW(native->window, GWLP_USERDATA, 0);
        DestroyWindow(native->window);
    }
    if (native->font != nullptr) {
        DeleteObject(native->font);  // no control uses it any more
    }
    delete native;
}

void TForm::OpenWindow() {
    // The window procedure reaches the form's native part while the window is being created.
    native_.reset(new Native);
    native_->window = CreateWindowExW(0, kFormWindowClass, L"", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                                      GetModuleHandleW(nullptr), this);
    if (native_->window == nullptr) {
        throw Exception("Cannot create the window of " + layoutName_ + ": Win32 error " +
                        std::to_string(GetLastError()));
    }
}

std::string TForm::Caption() const {
    const HWND window = native_->window;
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), length + 1)));
    return Narrow(text);
}

int TForm::ClientWidth() const {
    RECT client{};
    GetClientRect(native_->window, &client);
    return client.right - client.left;
}

int TForm::ClientHeight() const {
    RECT client{};
    GetClientRect(native_->window, &client);
    return client.bottom - client.top;
}

void TForm::Show() {
    ShowWindow(native_->window, SW_SHOW);
    UpdateWindow(native_->window);
    if (TButton* first = FirstInTabOrder()) {
        SetFocus(HandleOf(*first));
    }
}

void TForm::Close() {
    SendMessageW(native_->window, WM_CLOSE, 0, 0);
}

bool TForm::Visible() const {
    return IsWindowVisible(native_->window) != 0;
}
