#include <QWidget>

#include "platform/forms/form.hpp"
#include "platform/forms/qt/native_qt.hpp"

void TForm::NativeDeleter::operator()(Native* native) const noexcept {
    delete native;
}

void TForm::OpenWindow() {
    native_.reset(new Native{std::make_unique<QWidget>()});
    native_->window->setAttribute(Qt::WA_QuitOnClose, true);
}

std::string TForm::Caption() const {
    return native_->window->windowTitle().toStdString();
}
int TForm::ClientWidth() const {
    return native_->window->width();
}
int TForm::ClientHeight() const {
    return native_->window->height();
}

void TForm::Show() {
    QWidget& window = *native_->window;
    window.move(left_, top_);
    window.show();
    TButton* first = FirstInTabOrder();
    if (first != nullptr && WidgetOf(*first) != nullptr) {
        WidgetOf(*first)->setFocus();
    }
}

void TForm::Close() {
    native_->window->close();
}
bool TForm::Visible() const {
    return native_->window->isVisible();
}
