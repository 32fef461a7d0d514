#include "platform/forms/controls.hpp"

#include "platform/forms/exception.hpp"
#include "platform/forms/form.hpp"

TControl::TControl(TComponent* AOwner, std::unique_ptr<Native, NativeDeleter> native)
    : TComponent(AOwner), native_(std::move(native)) {}

TForm& TControl::OwnerForm(TComponent* AOwner) {
    auto* form = dynamic_cast<TForm*>(AOwner);
    if (form == nullptr) {
        throw Exception("A control must be owned by a form");
    }
    return *form;
}

std::string TLabel::Caption() const {
    std::lock_guard lock(captionMutex_);
    return caption_;
}
