// Applies a read layout to a form under construction: creates its controls and sets the
// properties of the form and of each control. Reading and checking the values, and setting
// them on the controls, is the same for every toolkit; only the window's own look (caption,
// font, border, size) is drawn by the backend.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/forms/form.hpp"
#include "platform/forms/layout_text.hpp"

// Geometry in a layout is in pixels at the layout's PixelsPerInch; the window works at 96 (on
// Windows the program declares no DPI awareness, so Windows scales the whole window on denser
// screens).
inline constexpr int kScreenPixelsPerInch = 96;
int ScaledToScreen(int value, int pixelsPerInch);

// The font a layout gives its form; what it leaves out keeps the desktop's dialog font.
struct LayoutFont {
    std::optional<std::string> name;
    std::optional<int> height;  // negative: character height in pixels; positive: cell height
    std::optional<int> size;    // points
    std::string charset;        // e.g. "ANSI_CHARSET"; empty: the desktop's
    std::optional<std::uint32_t> color;  // 0x00BBGGRR; none: the desktop's text colour
    bool bold = false, italic = false, underline = false, strikeOut = false;
    bool any = false;  // whether the layout names any font property
};

enum class LayoutBorder { Sizeable, Single, Dialog, ToolWindow, None, SizeToolWin };

class LayoutLoader {
  public:
    explicit LayoutLoader(TForm& form) : form_(form) {}
    void Load(const LayoutObject& root);

  private:
    // One control of the layout, its geometry at the layout's pixels per inch.
    void LoadControl(const LayoutObject& child, int pixelsPerInch);
    // Drawn by the backend.
    void SetCaption(const std::string& caption);
    // Before the controls are created, so that they take the font over.
    void ApplyFont(const LayoutFont& font, int pixelsPerInch);
    // Last: the border and the client size in pixels at 96 pixels per inch; the form's Left and
    // Top are set.
    void ApplyFrame(LayoutBorder border, int clientWidth, int clientHeight);

    TForm& form_;
};
