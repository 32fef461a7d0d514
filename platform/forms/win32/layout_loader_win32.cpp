// The form's own look on Windows: the window's title, font and text colour, border and size.
#include <windows.h>

#include <optional>
#include <string>

#include "platform/forms/layout_loader.hpp"
#include "platform/forms/win32/native_win32.hpp"
#include "platform/forms/win32/wide_text.hpp"

namespace {

BYTE CharsetOf(const std::string& name) {
    static const struct {
        const char* name;
        BYTE charset;
    } kNamed[] = {{"ANSI_CHARSET", ANSI_CHARSET},
                  {"DEFAULT_CHARSET", DEFAULT_CHARSET},
                  {"SYMBOL_CHARSET", SYMBOL_CHARSET},
                  {"OEM_CHARSET", OEM_CHARSET},
                  {"EASTEUROPE_CHARSET", EASTEUROPE_CHARSET},
                  {"RUSSIAN_CHARSET", RUSSIAN_CHARSET},
                  {"GREEK_CHARSET", GREEK_CHARSET},
                  {"TURKISH_CHARSET", TURKISH_CHARSET},
                  {"BALTIC_CHARSET", BALTIC_CHARSET}};
    for (const auto& named : kNamed) {
        if (name == named.name) {
            return named.charset;
        }
    }
    // Any other named character set: let the font mapper choose by the desktop's language.
    return DEFAULT_CHARSET;
}

// The font, or null for the desktop's dialog font.
HFONT CreateLayoutFont(const LayoutFont& font, int pixelsPerInch) {
    if (!font.any) {
        return nullptr;
    }
    int fontHeight = 0;  // the font mapper's default size
    if (font.height) {
        // Win32 reads the sign as the layout does: negative, the characters' own height.
        fontHeight = ScaledToScreen(*font.height, pixelsPerInch);
    } else if (font.size) {
        fontHeight = -MulDiv(*font.size, kScreenPixelsPerInch, 72);
    }
    // A missing face (e.g. "MS Sans Serif" on a desktop without it) is replaced by the nearest
    // sans-serif one.
    const std::wstring face = Widen(font.name.value_or(std::string()).substr(0, LF_FACESIZE - 1));
    return CreateFontW(fontHeight, 0, 0, 0, font.bold ? FW_BOLD : FW_NORMAL,
                       font.italic ? TRUE : FALSE, font.underline ? TRUE : FALSE,
                       font.strikeOut ? TRUE : FALSE, CharsetOf(font.charset), OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS,
                       face.c_str());
}

struct WindowStyle {
    DWORD style = WS_OVERLAPPEDWINDOW;
    DWORD extendedStyle = 0;
};

WindowStyle WindowStyleOf(LayoutBorder border) {
    // Fixed borders keep the title bar, the system menu, the close and (but for dialogs) the
    // minimise box; only a sizeable border can be dragged or maximised.
    constexpr DWORD kFixed = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
    switch (border) {
        case LayoutBorder::Single:
            return {kFixed | WS_MINIMIZEBOX, 0};
        case LayoutBorder::Dialog:
            return {kFixed, WS_EX_DLGMODALFRAME};
        case LayoutBorder::ToolWindow:
            return {kFixed, WS_EX_TOOLWINDOW};
        case LayoutBorder::None:
            return {WS_POPUP, 0};
        case LayoutBorder::SizeToolWin:
            return {WS_OVERLAPPEDWINDOW, WS_EX_TOOLWINDOW};
        case LayoutBorder::Sizeable:
            break;
    }
    return {WS_OVERLAPPEDWINDOW, 0};
}

}  // namespace

void LayoutLoader::SetCaption(const std::string& caption) {
    SetWindowTextW(HandleOf(form_), Widen(caption).c_str());
}

void LayoutLoader::ApplyFont(const LayoutFont& font, int pixelsPerInch) {
    // Each control takes the form's font over as it is created (WM_GETFONT).
    TForm::Native& native = form_.NativePart();
    native.font = CreateLayoutFont(font, pixelsPerInch);
    native.textColor = font.color;
}

void LayoutLoader::ApplyFrame(LayoutBorder border, int clientWidth, int clientHeight) {
    const HWND window = HandleOf(form_);
    const WindowStyle style = WindowStyleOf(border);
    SetWindowLongPtrW(window, GWL_STYLE, static_cast<LONG_PTR>(style.style));
    SetWindowLongPtrW(window, GWL_EXSTYLE, static_cast<LONG_PTR>(style.extendedStyle));
    RECT outer{0, 0, clientWidth, clientHeight};
    AdjustWindowRectEx(&outer, style.style, FALSE, style.extendedStyle);
    SetWindowPos(window, nullptr, form_.Left(), form_.Top(), outer.right - outer.left,
                 outer.bottom - outer.top, SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}
