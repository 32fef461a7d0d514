// The form's own look with Qt: the window's title, font and palette, border and size.
#include <QColor>
#include <QFont>
#include <QPalette>
#include <QWidget>
#include <algorithm>

#include "platform/forms/layout_loader.hpp"
#include "platform/forms/qt/native_qt.hpp"

namespace {

QString Text(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

void LayoutLoader::SetCaption(const std::string& caption) {
    WidgetOf(form_)->setWindowTitle(Text(caption));
}

// Qt reads text as Unicode throughout: any named character set reads the same.
void LayoutLoader::ApplyFont(const LayoutFont& wanted, int /*pixelsPerInch*/) {
    if (!wanted.any) {
        return;
    }
    QWidget& widget = *WidgetOf(form_);
    QFont font = widget.font();
    if (wanted.name) {
        font.setFamily(Text(*wanted.name));
    }
    // Where the named family is missing, take the nearest sans-serif face.
    font.setStyleHint(QFont::SansSerif);
    if (wanted.height) {
        // Negative: the characters' own height in pixels. Positive: the whole cell, of which
        // the characters take about 85 percent.
        const int height = *wanted.height;
        font.setPixelSize(height < 0 ? -height : std::max(1, (height * 85 + 50) / 100));
    } else if (wanted.size) {
        font.setPointSize(*wanted.size);
    }
    font.setBold(wanted.bold);
    font.setItalic(wanted.italic);
    font.setUnderline(wanted.underline);
    font.setStrikeOut(wanted.strikeOut);
    widget.setFont(font);
    if (wanted.color) {
        const std::uint32_t bgr = *wanted.color;  // 0x00BBGGRR
        const QColor color(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                           static_cast<int>((bgr >> 16) & 0xFF));
        QPalette palette = widget.palette();
        palette.setColor(QPalette::WindowText, color);
        palette.setColor(QPalette::ButtonText, color);
        palette.setColor(QPalette::Text, color);
        widget.setPalette(palette);
    }
}

void LayoutLoader::ApplyFrame(LayoutBorder border, int clientWidth, int clientHeight) {
    QWidget& window = *WidgetOf(form_);
    if (border == LayoutBorder::Sizeable || border == LayoutBorder::SizeToolWin) {
        window.resize(clientWidth, clientHeight);
        return;
    }
    window.setFixedSize(clientWidth, clientHeight);
    Qt::WindowFlags flags = Qt::Window | Qt::MSWindowsFixedSizeDialogHint;
    flags |= border == LayoutBorder::None
                 ? Qt::FramelessWindowHint
                 : Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                       Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint;
    window.setWindowFlags(flags);
}
