#include "layout_loader.hpp"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <optional>

#include "exception.hpp"
#include "wide_text.hpp"

namespace {

// Geometry in a layout is in pixels at the layout's PixelsPerInch; the window works at 96 (the
// program declares no DPI awareness, so Windows scales the whole window on denser screens).
constexpr int kScreenPixelsPerInch = 96;
// Larger than any screen: a value past it is a damaged layout, not a wish.
constexpr long long kMaxCoordinate = 32767;

class PropertyError {
  public:
    PropertyError(const std::string& resource, const std::string& object)
        : prefix_("Error reading layout " + resource + ": " + object + ".") {}
    [[noreturn]] void Fail(const LayoutProperty& property, const std::string& what) const {
        throw Exception(prefix_ + property.name + " (line " + std::to_string(property.line) +
                        "): " + what);
    }

  private:
    std::string prefix_;
};

int IntegerOf(const LayoutProperty& property, const PropertyError& error, long long low,
              long long high) {
    if (property.value.kind != LayoutValue::Kind::Integer) {
        error.Fail(property, "Invalid property value");
    }
    if (property.value.integer < low || property.value.integer > high) {
        error.Fail(property, "value out of range");
    }
    return static_cast<int>(property.value.integer);
}

const std::string& StringOf(const LayoutProperty& property, const PropertyError& error) {
    if (property.value.kind != LayoutValue::Kind::String) {
        error.Fail(property, "Invalid property value");
    }
    return property.value.text;
}

const std::string& IdentifierOf(const LayoutProperty& property, const PropertyError& error) {
    if (property.value.kind != LayoutValue::Kind::Identifier) {
        error.Fail(property, "Invalid property value");
    }
    return property.value.text;
}

bool BooleanOf(const LayoutProperty& property, const PropertyError& error) {
    const std::string& word = IdentifierOf(property, error);
    if (word == "True") {
        return true;
    }
    if (word == "False") {
        return false;
    }
    error.Fail(property, "Invalid property value");
}

int Scaled(int value, int pixelsPerInch) {
    if (pixelsPerInch == kScreenPixelsPerInch) {
        return value;
    }
    return static_cast<int>(
        std::lround(static_cast<double>(value) * kScreenPixelsPerInch / pixelsPerInch));
}

struct Geometry {
    std::optional<int> left, top, width, height;
};

bool ReadGeometry(const LayoutProperty& property, const PropertyError& error, Geometry& g) {
    const std::string& n = property.name;
    if (n == "Left") {
        g.left = IntegerOf(property, error, -kMaxCoordinate, kMaxCoordinate);
    } else if (n == "Top") {
        g.top = IntegerOf(property, error, -kMaxCoordinate, kMaxCoordinate);
    } else if (n == "Width") {
        g.width = IntegerOf(property, error, 0, kMaxCoordinate);
    } else if (n == "Height") {
        g.height = IntegerOf(property, error, 0, kMaxCoordinate);
    } else {
        return false;
    }
    return true;
}

// Font properties; any a layout leaves out keep the desktop's dialog font.
struct FontSpec {
    std::optional<std::string> name;
    std::optional<int> height;  // negative: character height in pixels; positive: cell height
    std::optional<int> size;    // points
    BYTE charset = DEFAULT_CHARSET;
    std::optional<COLORREF> color;
    bool bold = false, italic = false, underline = false, strikeOut = false;
    bool any = false;

    // Returns false when `property` is not a font property.
    bool Read(const LayoutProperty& property, const PropertyError& error) {
        const std::string& n = property.name;
        if (n.rfind("Font.", 0) != 0) {
            return false;
        }
        any = true;
        if (n == "Font.Name") {
            name = StringOf(property, error);
        } else if (n == "Font.Height") {
            height = IntegerOf(property, error, -1000, 1000);
        } else if (n == "Font.Size") {
            size = IntegerOf(property, error, 1, 1000);
        } else if (n == "Font.Charset") {
            charset = CharsetOf(property, error);
        } else if (n == "Font.Color") {
            color = ColorOf(property, error);
        } else if (n == "Font.Style") {
            if (property.value.kind != LayoutValue::Kind::Set) {
                error.Fail(property, "Invalid property value");
            }
            for (const std::string& style : property.value.items) {
                if (style == "fsBold") {
                    bold = true;
                } else if (style == "fsItalic") {
                    italic = true;
                } else if (style == "fsUnderline") {
                    underline = true;
                } else if (style == "fsStrikeOut") {
                    strikeOut = true;
                } else {
                    error.Fail(property, "Invalid property value");
                }
            }
        } else {
            error.Fail(property, "Property does not exist");
        }
        return true;
    }

    static BYTE CharsetOf(const LayoutProperty& property, const PropertyError& error) {
        const std::string& word = IdentifierOf(property, error);
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
            if (word == named.name) {
                return named.charset;
            }
        }
        // Any other named character set: let the font mapper choose by the desktop's language.
        if (word.size() < 8 || word.compare(word.size() - 8, 8, "_CHARSET") != 0) {
            error.Fail(property, "Invalid property value");
        }
        return DEFAULT_CHARSET;
    }

    static std::optional<COLORREF> ColorOf(const LayoutProperty& property,
                                           const PropertyError& error) {
        if (property.value.kind == LayoutValue::Kind::Integer) {
            // 0x00BBGGRR, as colours are stored in layouts and as Win32 takes them.
            const long long v = property.value.integer;
            if (v < 0 || v > 0xFFFFFF) {
                error.Fail(property, "Invalid property value");
            }
            return static_cast<COLORREF>(v);
        }
        const std::string& word = IdentifierOf(property, error);
        if (word == "clWindowText") {
            return std::nullopt;  // the desktop's own text colour
        }
        static const struct {
            const char* name;
            COLORREF color;
        } kNamed[] = {{"clBlack", RGB(0, 0, 0)},    {"clWhite", RGB(255, 255, 255)},
                      {"clRed", RGB(255, 0, 0)},    {"clGreen", RGB(0, 128, 0)},
                      {"clBlue", RGB(0, 0, 255)},   {"clNavy", RGB(0, 0, 128)},
                      {"clMaroon", RGB(128, 0, 0)}, {"clGray", RGB(128, 128, 128)}};
        for (const auto& named : kNamed) {
            if (word == named.name) {
                return named.color;
            }
        }
        error.Fail(property, "Invalid property value");
    }

    // The font, or null for the desktop's dialog font.
    HFONT Create(int pixelsPerInch) const {
        if (!any) {
            return nullptr;
        }
        int fontHeight = 0;  // the font mapper's default size
        if (height) {
            // Win32 reads the sign as the layout does: negative, the characters' own height.
            fontHeight = Scaled(*height, pixelsPerInch);
        } else if (size) {
            fontHeight = -MulDiv(*size, kScreenPixelsPerInch, 72);
        }
        // A missing face (e.g. "MS Sans Serif" on a desktop without it) is replaced by the
        // nearest sans-serif one.
        const std::wstring face = Widen(name.value_or(std::string()).substr(0, LF_FACESIZE - 1));
        return CreateFontW(fontHeight, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, italic ? TRUE : FALSE,
                           underline ? TRUE : FALSE, strikeOut ? TRUE : FALSE, charset,
                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                           DEFAULT_PITCH | FF_SWISS, face.c_str());
    }
};

struct BorderStyle {
    DWORD style = WS_OVERLAPPEDWINDOW;
    DWORD extendedStyle = 0;
};

std::optional<BorderStyle> BorderStyleOf(const std::string& name) {
    // Fixed borders keep the title bar, the system menu, the close and (but for dialogs) the
    // minimise box; only a sizeable border can be dragged or maximised.
    constexpr DWORD kFixed = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
    if (name == "bsSingle") {
        return BorderStyle{kFixed | WS_MINIMIZEBOX, 0};
    }
    if (name == "bsDialog") {
        return BorderStyle{kFixed, WS_EX_DLGMODALFRAME};
    }
    if (name == "bsToolWindow") {
        return BorderStyle{kFixed, WS_EX_TOOLWINDOW};
    }
    if (name == "bsNone") {
        return BorderStyle{WS_POPUP, 0};
    }
    if (name == "bsSizeable") {
        return BorderStyle{WS_OVERLAPPEDWINDOW, 0};
    }
    if (name == "bsSizeToolWin") {
        return BorderStyle{WS_OVERLAPPEDWINDOW, WS_EX_TOOLWINDOW};
    }
    return std::nullopt;
}

}  // namespace

void LayoutLoader::Load(const LayoutObject& root) {
    const std::string& resource = form_.layoutName_;
    const HWND window = form_.window_;
    form_.SetName(root.name);
    PropertyError error(resource, root.name);

    Geometry geometry;
    std::optional<int> clientWidth, clientHeight;
    int pixelsPerInch = kScreenPixelsPerInch;
    BorderStyle border;
    FontSpec font;
    for (const LayoutProperty& property : root.properties) {
        const std::string& n = property.name;
        if (ReadGeometry(property, error, geometry) || font.Read(property, error)) {
            continue;
        }
        if (n == "Caption") {
            SetWindowTextW(window, Widen(StringOf(property, error)).c_str());
        } else if (n == "ClientWidth") {
            clientWidth = IntegerOf(property, error, 0, kMaxCoordinate);
        } else if (n == "ClientHeight") {
            clientHeight = IntegerOf(property, error, 0, kMaxCoordinate);
        } else if (n == "BorderStyle") {
            const std::optional<BorderStyle> style = BorderStyleOf(IdentifierOf(property, error));
            if (!style) {
                error.Fail(property, "Invalid property value");
            }
            border = *style;
        } else if (n == "PixelsPerInch") {
            pixelsPerInch = IntegerOf(property, error, 24, 960);
        } else if (n == "TextHeight") {
            // The designer's measure of its font; the window measures its own.
            IntegerOf(property, error, 0, 1000);
        } else {
            error.Fail(property, "Property does not exist");
        }
    }
    // Before the controls are created: each takes the form's font over (WM_GETFONT).
    form_.font_ = font.Create(pixelsPerInch);
    form_.textColor_ = font.color;

    for (const LayoutObject& child : root.children) {
        if (!child.children.empty()) {
            throw Exception("Error reading layout " + resource + ": " + child.name +
                            " cannot hold other controls");
        }
        if (form_.FindComponent(child.name) != nullptr) {
            throw Exception("Error reading layout " + resource + ": a component named " +
                            child.name + " already exists");
        }
        PropertyError childError(resource, child.name);
        TControl* control = nullptr;
        TLabel* label = nullptr;
        TButton* button = nullptr;
        if (child.className == "TLabel") {
            control = label = new TLabel(&form_);
        } else if (child.className == "TButton") {
            control = button = new TButton(&form_);
        } else {
            throw Exception("Error reading layout " + resource + ": Class " + child.className +
                            " not found");
        }
        control->SetName(child.name);
        Geometry g;
        bool autoSize = true;
        for (const LayoutProperty& property : child.properties) {
            const std::string& n = property.name;
            if (ReadGeometry(property, childError, g)) {
                continue;
            }
            if (n == "Caption") {
                const std::string& caption = StringOf(property, childError);
                if (label != nullptr) {
                    label->SetCaption(caption);
                } else {
                    button->SetCaption(caption);
                }
            } else if (n == "Enabled") {
                control->SetEnabled(BooleanOf(property, childError));
            } else if (n == "AutoSize" && label != nullptr) {
                autoSize = BooleanOf(property, childError);
            } else if (n == "TabOrder" && button != nullptr) {
                button->SetTabOrder(IntegerOf(property, childError, 0, 10000));
            } else if (n == "OnClick" && button != nullptr) {
                form_.events_.push_back({button, IdentifierOf(property, childError), false});
            } else {
                childError.Fail(property, "Property does not exist");
            }
        }
        control->SetBounds(Scaled(g.left.value_or(0), pixelsPerInch),
                           Scaled(g.top.value_or(0), pixelsPerInch),
                           Scaled(g.width.value_or(control->Width()), pixelsPerInch),
                           Scaled(g.height.value_or(control->Height()), pixelsPerInch));
        if (label != nullptr) {
            label->SetAutoSize(autoSize);
        }
    }

    form_.left_ = geometry.left.value_or(0);
    form_.top_ = geometry.top.value_or(0);
    // The client size rules; a bare Width and Height stand for it when it is missing.
    RECT client{};
    GetClientRect(window, &client);
    const int width =
        Scaled(clientWidth.value_or(geometry.width.value_or(client.right)), pixelsPerInch);
    const int height =
        Scaled(clientHeight.value_or(geometry.height.value_or(client.bottom)), pixelsPerInch);
    SetWindowLongPtrW(window, GWL_STYLE, static_cast<LONG_PTR>(border.style));
    SetWindowLongPtrW(window, GWL_EXSTYLE, static_cast<LONG_PTR>(border.extendedStyle));
    RECT outer{0, 0, width, height};
    AdjustWindowRectEx(&outer, border.style, FALSE, border.extendedStyle);
    SetWindowPos(window, nullptr, form_.left_, form_.top_, outer.right - outer.left,
                 outer.bottom - outer.top, SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}
