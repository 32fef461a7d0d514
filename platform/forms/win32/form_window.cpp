#include "platform/forms/win32/form_window.hpp"

#include "platform/forms/application.hpp"
#include "platform/forms/controls.hpp"
#include "platform/forms/form.hpp"
#include "platform/forms/win32/native_win32.hpp"

class FormWindowProcedure {
  public:
    static LRESULT CALLBACK Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  private:
    static TButton* ButtonOf(TForm& form, HWND control) {
        for (int i = 0; i < form.ComponentCount(); ++i) {
            auto* button = dynamic_cast<TButton*>(form.Components(i));
            if (button != nullptr && HandleOf(*button) == control) {
                return button;
            }
        }
        return nullptr;
    }
};

LRESULT CALLBACK FormWindowProcedure::Handle(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* form = reinterpret_cast<TForm*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (form == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    const TForm::Native& native = form->NativePart();
    switch (message) {
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED && lParam != 0) {
                if (TButton* button = ButtonOf(*form, reinterpret_cast<HWND>(lParam))) {
                    button->Click();
                }
                return 0;
            }
            break;
        case kShowPostedCaptionsMessage:
            ShowPostedCaptions(*form);
            return 0;
        case WM_GETFONT:
            // The layout's font, which every control of the form takes over when it is created.
            return reinterpret_cast<LRESULT>(native.font != nullptr
                                                 ? static_cast<HGDIOBJ>(native.font)
                                                 : GetStockObject(DEFAULT_GUI_FONT));
        case WM_CTLCOLORSTATIC:
            if (native.textColor) {
                const auto dc = reinterpret_cast<HDC>(wParam);
                SetTextColor(dc, *native.textColor);
                SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
                return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
            }
            break;
        case WM_CLOSE:
            // The window stays until its form is destroyed; the main form's close ends the loop.
            ShowWindow(window, SW_HIDE);
            if (Application != nullptr && Application->MainForm() == form) {
                PostQuitMessage(0);
            }
            return 0;
        case WM_NCDESTROY:
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            break;
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void RegisterFormWindowClass() {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &FormWindowProcedure::Handle;
    windowClass.hInstance = instance;
    windowClass.hIcon =
        static_cast<HICON>(LoadImageW(instance, L"MAINICON", IMAGE_ICON,
                                      GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    windowClass.hIconSm = static_cast<HICON>(LoadImageW(instance, L"MAINICON", IMAGE_ICON,
                                                        GetSystemMetrics(SM_CXSMICON),
                                                        GetSystemMetrics(SM_CYSMICON), 0));
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kFormWindowClass;
    RegisterClassExW(&windowClass);
}

bool OnThreadOf(HWND window) {
    return GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId();
}
