#include "platform/forms/form.hpp"

#include "platform/forms/layout_loader.hpp"
#include "platform/forms/layout_resource.hpp"
#include "platform/forms/layout_text.hpp"

// Ensures the application object exists before the first window does.
void EnsureApplicationObject();
// Lets the application drop its reference to a form being destroyed.
void ForgetForm(TForm* form);

TForm::TForm(TComponent* AOwner, std::string_view layoutResource)
    : TComponent(AOwner), layoutName_(layoutResource) {
    EnsureApplicationObject();
    OpenWindow();
    try {
        LayoutObject layout = ParseLayoutText(ReadLayoutResource(layoutResource), layoutResource);
        LayoutLoader(*this).Load(layout);
    } catch (...) {
        // No destructor runs for a form whose construction failed: its controls and its window
        // go here, in the same order.
        DestroyComponents();
        native_.reset();
        throw;
    }
}

TForm::~TForm() {
    ForgetForm(this);
    // Controls go first, while the window that holds them still exists.
    DestroyComponents();
    native_.reset();
}

TButton* TForm::FirstInTabOrder() const {
    TButton* first = nullptr;
    for (int i = 0; i < ComponentCount(); ++i) {
        auto* button = dynamic_cast<TButton*>(Components(i));
        if (button != nullptr && button->TabOrder() >= 0 &&
            (first == nullptr || button->TabOrder() < first->TabOrder())) {
            first = button;
        }
    }
    return first;
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
