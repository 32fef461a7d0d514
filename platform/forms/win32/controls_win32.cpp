#include "controls.hpp"

#include <windows.h>

#include "exception.hpp"
#include "form.hpp"
#include "form_window.hpp"
#include "wide_text.hpp"

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

HWND NewChildWindow(const wchar_t* windowClass, DWORD style, HWND parent, int width, int height) {
    HWND window = CreateWindowExW(0, windowClass, L"", WS_CHILD | WS_VISIBLE | style, 0, 0, width,
                                  height, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (window == nullptr) {
        throw Exception("Cannot create a control (" + Narrow(windowClass) + "): Win32 error " +
                        std::to_string(GetLastError()));
    }
    if (auto font = SendMessageW(parent, WM_GETFONT, 0, 0)) {
        SendMessageW(window, WM_SETFONT, static_cast<WPARAM>(font), FALSE);
    }
    return window;
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

TControl::TControl(TComponent* AOwner, NativeWindow window) : TComponent(AOwner), window_(window) {}

TControl::~TControl() {
    if (window_ != nullptr) {
        DestroyWindow(window_);
    }
}

NativeWindow TControl::ParentWindowOf(TComponent* AOwner) {
    auto* form = dynamic_cast<TForm*>(AOwner);
    if (form == nullptr || form->Handle() == nullptr) {
        throw Exception("A control must be owned by a form");
    }
    return form->Handle();
}

void TControl::SetBounds(int left, int top, int width, int height) {
    MoveWindow(window_, left, top, width, height, TRUE);
}

int TControl::Left() const {
    return BoundsInParent(window_).left;
}
int TControl::Top() const {
    return BoundsInParent(window_).top;
}
int TControl::Width() const {
    const RECT bounds = BoundsInParent(window_);
    return bounds.right - bounds.left;
}
int TControl::Height() const {
    const RECT bounds = BoundsInParent(window_);
    return bounds.bottom - bounds.top;
}

bool TControl::Enabled() const {
    return IsWindowEnabled(window_) != 0;
}

void TControl::SetEnabled(bool enabled) {
    EnableWindow(window_, enabled ? TRUE : FALSE);
}

// ---- TLabel ---------------------------------------------------------------------------------

// A label's text is never markup (no & accelerators) and is cut, not wrapped, at its edge.
TLabel::TLabel(TComponent* AOwner)
    : TControl(AOwner,
               NewChildWindow(L"STATIC", SS_LEFTNOWORDWRAP | SS_NOPREFIX, ParentWindowOf(AOwner),
                              kDefaultLabelWidth, kDefaultLabelHeight)) {
    caption_.reserve(kCaptionReserve);
}

void TLabel::SetCaption(std::string_view text) {
    {
        std::lock_guard lock(captionMutex_);
        caption_.assign(text);
    }
    if (OnThreadOf(Handle())) {
        ShowCaption();
        return;
    }
    // Another thread: the window's thread shows the latest text when it gets to it. Setting the
    // text from here would wait for the window's thread, which may itself be waiting for this
    // one as the program closes. One message is enough for any number of captions.
    if (!posted_.exchange(true)) {
        if (PostMessageW(GetParent(Handle()), kShowPostedCaptionsMessage, 0, 0) == 0) {
            posted_.store(false);  // the window is gone or its queue is full
        }
    }
}

std::string TLabel::Caption() const {
    std::lock_guard lock(captionMutex_);
    return caption_;
}

void TLabel::SetAutoSize(bool autoSize) {
    autoSize_ = autoSize;
    if (autoSize_) {
        ShowCaption();
    }
}

void TLabel::ShowPostedCaption() {
    if (posted_.exchange(false)) {
        ShowCaption();
    }
}

void TLabel::ShowCaption() {
    wchar_t shortText[kShortCaption];
    std::wstring longText;
    const wchar_t* text = shortText;
    int length = 0;
    {
        std::lock_guard lock(captionMutex_);
        length = MultiByteToWideChar(CP_UTF8, 0, caption_.data(), static_cast<int>(caption_.size()),
                                     shortText, kShortCaption - 1);
        if (length == 0 && !caption_.empty()) {
            longText = Widen(caption_);
            text = longText.c_str();
            length = static_cast<int>(longText.size());
        }
    }
    shortText[text == shortText ? length : 0] = L'\0';
    SetWindowTextW(Handle(), text);
    if (autoSize_) {
        HDC dc = GetDC(Handle());
        const auto font = reinterpret_cast<HFONT>(SendMessageW(Handle(), WM_GETFONT, 0, 0));
        HGDIOBJ previous = font != nullptr ? SelectObject(dc, font) : nullptr;
        SIZE size{};
        GetTextExtentPoint32W(dc, text, length, &size);
        if (previous != nullptr) {
            SelectObject(dc, previous);
        }
        ReleaseDC(Handle(), dc);
        SetWindowPos(Handle(), nullptr, 0, 0, size.cx, size.cy,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

// ---- TButton --------------------------------------------------------------------------------

TButton::TButton(TComponent* AOwner)
    : TControl(AOwner, NewChildWindow(L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, ParentWindowOf(AOwner),
                                      kDefaultButtonWidth, kDefaultButtonHeight)) {}

void TButton::SetCaption(std::string_view text) {
    SetWindowTextW(Handle(), Widen(text).c_str());
}

std::string TButton::Caption() const {
    return WindowText(Handle());
}

void TButton::Click() {
    if (Enabled() && OnClick) {
        OnClick(this);
    }
}
