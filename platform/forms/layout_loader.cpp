#include "platform/forms/layout_loader.hpp"

#include <cmath>
#include <optional>

#include "platform/forms/exception.hpp"

namespace {

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

std::optional<std::uint32_t> ColorOf(const LayoutProperty& property, const PropertyError& error) {
    if (property.value.kind == LayoutValue::Kind::Integer) {
        // 0x00BBGGRR, as colours are stored in layouts.
        const long long v = property.value.integer;
        if (v < 0 || v > 0xFFFFFF) {
            error.Fail(property, "Invalid property value");
        }
        return static_cast<std::uint32_t>(v);
    }
    const std::string& word = IdentifierOf(property, error);
    if (word == "clWindowText") {
        return std::nullopt;  // the desktop's own text colour
    }
    static const struct {
        const char* name;
        std::uint32_t color;
    } kNamed[] = {{"clBlack", 0x000000},  {"clWhite", 0xFFFFFF}, {"clRed", 0x0000FF},
                  {"clGreen", 0x008000},  {"clBlue", 0xFF0000},  {"clNavy", 0x800000},
                  {"clMaroon", 0x000080}, {"clGray", 0x808080}};
    for (const auto& named : kNamed) {
        if (word == named.name) {
            return named.color;
        }
    }
    error.Fail(property, "Invalid property value");
}

// Returns false when `property` is not a font property.
bool ReadFont(const LayoutProperty& property, const PropertyError& error, LayoutFont& font) {
    const std::string& n = property.name;
    if (n.rfind("Font.", 0) != 0) {
        return false;
    }
    font.any = true;
    if (n == "Font.Name") {
        font.name = StringOf(property, error);
    } else if (n == "Font.Height") {
        font.height = IntegerOf(property, error, -1000, 1000);
    } else if (n == "Font.Size") {
        font.size = IntegerOf(property, error, 1, 1000);
    } else if (n == "Font.Charset") {
        const std::string& charset = IdentifierOf(property, error);
        if (charset.size() < 8 || charset.compare(charset.size() - 8, 8, "_CHARSET") != 0) {
            error.Fail(property, "Invalid property value");
        }
        font.charset = charset;
    } else if (n == "Font.Color") {
        font.color = ColorOf(property, error);
    } else if (n == "Font.Style") {
        if (property.value.kind != LayoutValue::Kind::Set) {
            error.Fail(property, "Invalid property value");
        }
        for (const std::string& style : property.value.items) {
            if (style == "fsBold") {
                font.bold = true;
            } else if (style == "fsItalic") {
                font.italic = true;
            } else if (style == "fsUnderline") {
                font.underline = true;
            } else if (style == "fsStrikeOut") {
                font.strikeOut = true;
            } else {
                error.Fail(property, "Invalid property value");
            }
        }
    } else {
        error.Fail(property, "Property does not exist");
    }
    return true;
}

LayoutBorder BorderOf(const LayoutProperty& property, const PropertyError& error) {
    static const struct {
        const char* name;
        LayoutBorder border;
    } kNamed[] = {
        {"bsSizeable", LayoutBorder::Sizeable}, {"bsSingle", LayoutBorder::Single},
        {"bsDialog", LayoutBorder::Dialog},     {"bsToolWindow", LayoutBorder::ToolWindow},
        {"bsNone", LayoutBorder::None},         {"bsSizeToolWin", LayoutBorder::SizeToolWin}};
    const std::string& word = IdentifierOf(property, error);
    for (const auto& named : kNamed) {
        if (word == named.name) {
            return named.border;
        }
    }
    error.Fail(property, "Invalid property value");
}

// What the layout says of the form itself, read and checked before anything is applied.
struct FormProperties {
    Geometry geometry;
    std::optional<int> clientWidth, clientHeight;
    std::optional<std::string> caption;
    int pixelsPerInch = kScreenPixelsPerInch;
    LayoutBorder border = LayoutBorder::Sizeable;
    LayoutFont font;
};

FormProperties ReadFormProperties(const LayoutObject& root, const PropertyError& error) {
    FormProperties form;
    for (const LayoutProperty& property : root.properties) {
        const std::string& n = property.name;
        if (ReadGeometry(property, error, form.geometry) || ReadFont(property, error, form.font)) {
            continue;
        }
        if (n == "Caption") {
            form.caption = StringOf(property, error);
        } else if (n == "ClientWidth") {
            form.clientWidth = IntegerOf(property, error, 0, kMaxCoordinate);
        } else if (n == "ClientHeight") {
            form.clientHeight = IntegerOf(property, error, 0, kMaxCoordinate);
        } else if (n == "BorderStyle") {
            form.border = BorderOf(property, error);
        } else if (n == "PixelsPerInch") {
            form.pixelsPerInch = IntegerOf(property, error, 24, 960);
        } else if (n == "TextHeight") {
            // The designer's measure of its font; the window measures its own.
            IntegerOf(property, error, 0, 1000);
        } else {
            error.Fail(property, "Property does not exist");
        }
    }
    return form;
}

}  // namespace

int ScaledToScreen(int value, int pixelsPerInch) {
    if (pixelsPerInch == kScreenPixelsPerInch) {
        return value;
    }
    return static_cast<int>(
        std::lround(static_cast<double>(value) * kScreenPixelsPerInch / pixelsPerInch));
}

// The form's own properties first (its font before any control, so that the controls take it
// over), then one control per child, then the frame around the client area.
void LayoutLoader::Load(const LayoutObject& root) {
    form_.SetName(root.name);
    const FormProperties form =
        ReadFormProperties(root, PropertyError(form_.layoutName_, root.name));
    if (form.caption) {
        SetCaption(*form.caption);
    }
    ApplyFont(form.font, form.pixelsPerInch);

    for (const LayoutObject& child : root.children) {
        LoadControl(child, form.pixelsPerInch);
    }

    form_.left_ = form.geometry.left.value_or(0);
    form_.top_ = form.geometry.top.value_or(0);
    // The client size rules; a bare Width and Height stand for it when it is missing.
    const int width =
        ScaledToScreen(form.clientWidth.value_or(form.geometry.width.value_or(form_.ClientWidth())),
                       form.pixelsPerInch);
    const int height = ScaledToScreen(
        form.clientHeight.value_or(form.geometry.height.value_or(form_.ClientHeight())),
        form.pixelsPerInch);
    ApplyFrame(form.border, width, height);
}

// A label or a button: created on the form, named, its properties set, placed at screen scale.
void LayoutLoader::LoadControl(const LayoutObject& child, int pixelsPerInch) {
    const std::string& resource = form_.layoutName_;
    if (!child.children.empty()) {
        throw Exception("Error reading layout " + resource + ": " + child.name +
                        " cannot hold other controls");
    }
    if (form_.FindComponent(child.name) != nullptr) {
        throw Exception("Error reading layout " + resource + ": a component named " + child.name +
                        " already exists");
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
    control->SetBounds(ScaledToScreen(g.left.value_or(0), pixelsPerInch),
                       ScaledToScreen(g.top.value_or(0), pixelsPerInch),
                       ScaledToScreen(g.width.value_or(control->Width()), pixelsPerInch),
                       ScaledToScreen(g.height.value_or(control->Height()), pixelsPerInch));
    if (label != nullptr) {
        label->SetAutoSize(autoSize);
    }
}
