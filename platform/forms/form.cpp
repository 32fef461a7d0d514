#include "form.hpp"

#include <QWidget>

#include "layout_loader.hpp"
#include "layout_resource.hpp"
#include "layout_text.hpp"

// Ensures the application object exists before the first window does.
void EnsureApplicationObject();
// Lets the application drop its reference to a form being destroyed.
void ForgetForm(TForm* form);

TForm::TForm(TComponent* AOwner, std::string_view layoutResource)
    : TComponent(AOwner), layoutName_(layoutResource) {
    EnsureApplicationObject();
    window_ = std::make_unique<QWidget>();
    window_->setAttribute(Qt::WA_QuitOnClose, true);
    LayoutObject layout = ParseLayoutText(ReadLayoutResource(layoutResource), layoutResource);
    LayoutLoader(*this).Load(layout);
}

TForm::~TForm() {
    ForgetForm(this);
    // Controls go first, while the window that holds their widgets still exists.
    DestroyComponents();
    window_.reset();
}

QWidget* TForm::Widget() const noexcept {
    return window_.get();
}

std::string TForm::Caption() const {
    return window_->windowTitle().toStdString();
}
int TForm::ClientWidth() const {
    return window_->width();
}
int TForm::ClientHeight() const {
    return window_->height();
}

void TForm::Show() {
    window_->move(left_, top_);
    window_->show();
    // The control first in the focus order starts with the focus.
    TButton* first = nullptr;
    for (int i = 0; i < ComponentCount(); ++i) {
        auto* button = dynamic_cast<TButton*>(Components(i));
        if (button != nullptr && button->TabOrder() >= 0 &&
            (first == nullptr || button->TabOrder() < first->TabOrder())) {
            first = button;
        }
    }
    if (first != nullptr && first->Widget() != nullptr) {
        first->Widget()->setFocus();
    }
}

void TForm::Close() {
    window_->close();
}
bool TForm::Visible() const {
    return window_->isVisible();
}

void TForm::PublishEvent(std::string_view name, const TNotifyEvent& handler) {
    for (EventLink& link : events_) {
        if (link.handler == name) {
            link.button->OnClick = handler;
            link.published = true;
        }
    }
}

void TForm::CheckEventsPublished() const {
    for (const EventLink& link : events_) {
        if (!link.published) {
            throw Exception("Error reading layout " + layoutName_ + ": " + link.button->Name() +
                            ".OnClick names " + link.handler + ", which the form does not have");
        }
    }
}
