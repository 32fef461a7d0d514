#include <windows.h>

#include "platform/forms/caption_characters.hpp"
#include "platform/forms/controls.hpp"

#include "platform/forms/exception.hpp"
#include "platform/forms/form.hpp"
#include "platform/forms/win32/form_window.hpp"
#include "platform/forms/win32/native_win32.hpp"
#include "platform/forms/win32/wide_text.hpp"

namespace {

// Room for the longest status text without a new allocation when a caption is replaced.
constexpr size_t kCaptionReserve = 64;
// Captions up to this many UTF-16 units are shown without allocating.
constexpr int kShortCaption = 256;

// Sizes of a control the layout gives none for.
constexpr int kDefaultLabelWidth = 65;
constexpr int kDefaultLabelHeight = 13;
constexpr int kDefaultButtonWidth = 75;
constexpr int kDefaultButtonHeight = 25;

HWND ParentWindowOf(const TForm& form) {
    if (HandleOf(form) == nullptr) {
        throw Exception("A control must be owned by a form");
    }
    return HandleOf(form);
}

std::unique_ptr<TControl::Native, TControl::NativeDeleter> NewChildWindow(
    const wchar_t* windowClass, DWORD style, HWND parent, int width, int height) {
    HWND window = CreateWindowExW(0, windowClass, L"", WS_CHILD | WS_VISIBLE | style, 0, 0, width,
                                  height, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (window == nullptr) {
        throw Exception("Cannot create a control (" + Narrow(windowClass) + "): Win32 error " +
                        std::to_string(GetLastError()));
    }
    if (auto font = SendMessageW(parent, WM_GETFONT, 0, 0)) {
        SendMessageW(window, WM_SETFONT, static_cast<WPARAM>(font), FALSE);
    }
    std::unique_ptr<TControl::Native, TControl::NativeDeleter> native(new TControl::Native);
    native->window = window;
    return native;
}

RECT BoundsInParent(HWND window) {
    RECT bounds{};
    GetWindowRect(window, &bounds);
    MapWindowPoints(HWND_DESKTOP, GetParent(window), reinterpret_cast<POINT*>(&bounds), 2);
    return bounds;
}

std::string WindowText(HWND window) {
    if (window == nullptr) {
        return {};
    }
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<size_t>(copied));
    return Narrow(text);
}

}  // namespace

// ---- TControl -------------------------------------------------------------------------------

void TControl::NativeDeleter::operator()(Native* native) const noexcept {
    if (native->window != nullptr) {
        DestroyWindow(native->window);
    }
    delete native;
}

void TControl::SetBounds(int left, int top, int width, int height) {
    MoveWindow(HandleOf(*this), left, top, width, height, TRUE);
}

int TControl::Left() const {
    return BoundsInParent(HandleOf(*this)).left;
}
int TControl::Top() const {
    return BoundsInParent(HandleOf(*this)).top;
}
int TControl::Width() const {
    const RECT bounds = BoundsInParent(HandleOf(*this));
    return bounds.right - bounds.left;
}
int TControl::Height() const {
    const RECT bounds = BoundsInParent(HandleOf(*this));
    return bounds.bottom - bounds.top;
}

bool TControl::Enabled() const {
    return IsWindowEnabled(HandleOf(*this)) != 0;
}

void TControl::SetEnabled(bool enabled) {
    EnableWindow(HandleOf(*this), enabled ? TRUE : FALSE);
}

// ---- TLabel ---------------------------------------------------------------------------------

// A label's text is never markup (no & accelerators) and is cut, not wrapped, at its edge.
TLabel::TLabel(TComponent* AOwner)
    : TControl(AOwner, NewChildWindow(L"STATIC", SS_LEFTNOWORDWRAP | SS_NOPREFIX,
                                      ParentWindowOf(OwnerForm(AOwner)), kDefaultLabelWidth,
                                      kDefaultLabelHeight)) {
    caption_.reserve(kCaptionReserve);
}

TLabel::~TLabel() = default;

void TLabel::SetCaption(std::string_view text) {
    {
        std::lock_guard lock(captionMutex_);
        caption_.assign(text);
    }
    if (OnThreadOf(HandleOf(*this))) {
        ShowCaption();
        return;
    }
    // Another thread: the window's thread shows the latest text when it gets to it. Setting the
    // text from here would wait for the window's thread, which may itself be waiting for this
    // one as the program closes. One message is enough for any number of captions.
    std::atomic<bool>& posted = NativePart().captionPosted;
    if (!posted.exchange(true)) {
        if (PostMessageW(GetParent(HandleOf(*this)), kShowPostedCaptionsMessage, 0, 0) == 0) {
            posted.store(false);  // the window is gone or its queue is full
        }
    }
}

void TLabel::SetAutoSize(bool autoSize) {
    autoSize_ = autoSize;
    if (autoSize_) {
        ShowCaption();
    }
}

void ShowPostedCaptions(TForm& form) {
    for (int i = 0; i < form.ComponentCount(); ++i) {
        if (auto* label = dynamic_cast<TLabel*>(form.Components(i))) {
            if (label->NativePart().captionPosted.exchange(false)) {
                label->ShowCaption();
            }
        }
    }
}

void TLabel::ShowCaption() {
    wchar_t shortText[kShortCaption];
    std::wstring longText;
    const wchar_t* text = shortText;
    int length = 0;
    {
        std::lock_guard lock(captionMutex_);
        // One character per byte, whatever the byte (a record header may hold any).
        length = static_cast<int>(caption_.size());
        wchar_t* out = shortText;
        if (caption_.size() >= static_cast<std::size_t>(kShortCaption)) {
            longText.resize(caption_.size());
            out = longText.data();
            text = longText.c_str();
        }
        for (std::size_t i = 0; i < caption_.size(); ++i) {
            out[i] =
                static_cast<wchar_t>(CaptionCharacter(static_cast<unsigned char>(caption_[i])));
        }
    }
    shortText[text == shortText ? length : 0] = L'\0';
    SetWindowTextW(HandleOf(*this), text);
    if (autoSize_) {
        HDC dc = GetDC(HandleOf(*this));
        const auto font = reinterpret_cast<HFONT>(SendMessageW(HandleOf(*this), WM_GETFONT, 0, 0));
        HGDIOBJ previous = font != nullptr ? SelectObject(dc, font) : nullptr;
        SIZE size{};
        GetTextExtentPoint32W(dc, text, length, &size);
        if (previous != nullptr) {
            SelectObject(dc, previous);
        }
        ReleaseDC(HandleOf(*this), dc);
        SetWindowPos(HandleOf(*this), nullptr, 0, 0, size.cx, size.cy,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

// ---- TButton --------------------------------------------------------------------------------

TButton::TButton(TComponent* AOwner)
    : TControl(AOwner, NewChildWindow(L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP,
                                      ParentWindowOf(OwnerForm(AOwner)), kDefaultButtonWidth,
                                      kDefaultButtonHeight)) {}

void TButton::SetCaption(std::string_view text) {
    SetWindowTextW(HandleOf(*this), Widen(text).c_str());
}

std::string TButton::Caption() const {
    return WindowText(HandleOf(*this));
}

void TButton::Click() {
    if (Enabled() && OnClick) {
        OnClick(this);
    }
}
