// The Qt side of forms and controls: a form's window is a top-level QWidget, a control a child
// widget of it. For the Qt backend and its tests only.
#pragma once

#include <QPointer>
#include <QWidget>
#include <memory>

#include "platform/forms/controls.hpp"
#include "platform/forms/form.hpp"

struct TForm::Native {
    std::unique_ptr<QWidget> window;
};

struct TControl::Native {
    // Null once the form's window is gone (it deletes its child widgets with it).
    QPointer<QWidget> widget;
};

inline QWidget* WidgetOf(const TForm& form) noexcept {
    return form.NativePart().window.get();
}

// The drawn widget; null once the window is gone.
inline QWidget* WidgetOf(const TControl& control) noexcept {
    return control.NativePart().widget.data();
}
