#include "layout_loader.hpp"

#include <QFont>
#include <QPalette>
#include <QWidget>
#include <cmath>
#include <optional>

#include "exception.hpp"

namespace {

// Geometry in a layout is in pixels at the layout's PixelsPerInch; the window works at 96.
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

QString Text(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

struct Geometry {
    std::optional<int> left, top, width, height;
};

// Font properties; any a layout leaves out keep the window's default.
struct FontSpec {
    std::optional<std::string> name;
    std::optional<int> height;  // negative: character height in pixels; positive: cell height
    std::optional<int> size;    // points
    std::optional<QColor> color;
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
            // Text is Unicode throughout; any named character set reads the same.
            const std::string& charset = IdentifierOf(property, error);
            if (charset.size() < 8 || charset.compare(charset.size() - 8, 8, "_CHARSET") != 0) {
                error.Fail(property, "Invalid property value");
            }
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

    static std::optional<QColor> ColorOf(const LayoutProperty& property,
                                         const PropertyError& error) {
        if (property.value.kind == LayoutValue::Kind::Integer) {
            // 0x00BBGGRR, as colours are stored in layouts.
            long long v = property.value.integer;
            if (v < 0 || v > 0xFFFFFF) {
                error.Fail(property, "Invalid property value");
            }
            return QColor(static_cast<int>(v & 0xFF), static_cast<int>((v >> 8) & 0xFF),
                          static_cast<int>((v >> 16) & 0xFF));
        }
        const std::string& word = IdentifierOf(property, error);
        if (word == "clWindowText") {
            return std::nullopt;  // the desktop's own text colour
        }
        static const struct {
            const char* name;
            Qt::GlobalColor color;
        } kNamed[] = {{"clBlack", Qt::black},     {"clWhite", Qt::white}, {"clRed", Qt::red},
                      {"clGreen", Qt::darkGreen}, {"clBlue", Qt::blue},   {"clNavy", Qt::darkBlue},
                      {"clMaroon", Qt::darkRed},  {"clGray", Qt::gray}};
        for (const auto& named : kNamed) {
            if (word == named.name) {
                return QColor(named.color);
            }
        }
        error.Fail(property, "Invalid property value");
    }

    void ApplyTo(QWidget& widget) const {
        if (!any) {
            return;
        }
        QFont font = widget.font();
        if (name) {
            font.setFamily(Text(*name));
        }
        // Where the named family is missing, take the nearest sans-serif face.
        font.setStyleHint(QFont::SansSerif);
        if (height) {
            // Negative: the characters' own height in pixels. Positive: the whole cell, of which
            // the characters take about 85 percent.
            int pixels = *height < 0 ? -*height : std::max(1, (*height * 85 + 50) / 100);
            font.setPixelSize(pixels);
        } else if (size) {
            font.setPointSize(*size);
        }
        font.setBold(bold);
        font.setItalic(italic);
        font.setUnderline(underline);
        font.setStrikeOut(strikeOut);
        widget.setFont(font);
        if (color) {
            QPalette palette = widget.palette();
            palette.setColor(QPalette::WindowText, *color);
            palette.setColor(QPalette::ButtonText, *color);
            palette.setColor(QPalette::Text, *color);
            widget.setPalette(palette);
        }
    }
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

int Scaled(int value, int pixelsPerInch) {
    if (pixelsPerInch == kScreenPixelsPerInch) {
        return value;
    }
    return static_cast<int>(
        std::lround(static_cast<double>(value) * kScreenPixelsPerInch / pixelsPerInch));
}

}  // namespace

void LayoutLoader::Load(const LayoutObject& root) {
    const std::string& resource = form_.layoutName_;
    QWidget& window = *form_.window_;
    form_.SetName(root.name);
    PropertyError error(resource, root.name);

    Geometry geometry;
    std::optional<int> clientWidth, clientHeight;
    int pixelsPerInch = kScreenPixelsPerInch;
    bool fixedBorder = false;
    bool frameless = false;
    FontSpec font;
    for (const LayoutProperty& property : root.properties) {
        const std::string& n = property.name;
        if (ReadGeometry(property, error, geometry) || font.Read(property, error)) {
            continue;
        }
        if (n == "Caption") {
            window.setWindowTitle(Text(StringOf(property, error)));
        } else if (n == "ClientWidth") {
            clientWidth = IntegerOf(property, error, 0, kMaxCoordinate);
        } else if (n == "ClientHeight") {
            clientHeight = IntegerOf(property, error, 0, kMaxCoordinate);
        } else if (n == "BorderStyle") {
            const std::string& style = IdentifierOf(property, error);
            if (style == "bsSingle" || style == "bsDialog" || style == "bsToolWindow") {
                fixedBorder = true;
            } else if (style == "bsNone") {
                fixedBorder = frameless = true;
            } else if (style != "bsSizeable" && style != "bsSizeToolWin") {
                error.Fail(property, "Invalid property value");
            }
        } else if (n == "PixelsPerInch") {
            pixelsPerInch = IntegerOf(property, error, 24, 960);
        } else if (n == "TextHeight") {
            // The designer's measure of its font; the window measures its own.
            IntegerOf(property, error, 0, 1000);
        } else {
            error.Fail(property, "Property does not exist");
        }
    }
    font.ApplyTo(window);

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
        QWidget* widget = control->Widget();
        control->SetBounds(Scaled(g.left.value_or(0), pixelsPerInch),
                           Scaled(g.top.value_or(0), pixelsPerInch),
                           Scaled(g.width.value_or(widget->width()), pixelsPerInch),
                           Scaled(g.height.value_or(widget->height()), pixelsPerInch));
        if (label != nullptr) {
            label->SetAutoSize(autoSize);
        }
    }

    form_.left_ = geometry.left.value_or(0);
    form_.top_ = geometry.top.value_or(0);
    // The client size rules; a bare Width and Height stand for it when it is missing.
    int width =
        Scaled(clientWidth.value_or(geometry.width.value_or(window.width())), pixelsPerInch);
    int height =
        Scaled(clientHeight.value_or(geometry.height.value_or(window.height())), pixelsPerInch);
    if (fixedBorder) {
        window.setFixedSize(width, height);
        Qt::WindowFlags flags = Qt::Window | Qt::MSWindowsFixedSizeDialogHint;
        flags |= frameless ? Qt::FramelessWindowHint
                           : Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                                 Qt::CustomizeWindowHint;
        window.setWindowFlags(flags);
    } else {
        window.resize(width, height);
    }
}
