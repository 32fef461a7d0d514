#include "platform/forms/component.hpp"

#include <algorithm>

TComponent::TComponent(TComponent* AOwner) : owner_(AOwner) {
    if (owner_ != nullptr) {
        owner_->components_.push_back(this);
    }
}

TComponent::~TComponent() {
    DestroyComponents();
    if (owner_ != nullptr) {
        owner_->RemoveComponent(this);
    }
}

TComponent* TComponent::FindComponent(std::string_view name) const {
    for (TComponent* component : components_) {
        if (component->name_ == name) {
            return component;
        }
    }
    return nullptr;
}

void TComponent::DestroyComponents() {
    while (!components_.empty()) {
        TComponent* last = components_.back();
        components_.pop_back();
        last->owner_ = nullptr;  // already out of the list: it must not look for itself there
        delete last;
    }
}

void TComponent::RemoveComponent(TComponent* component) {
    auto found = std::find(components_.begin(), components_.end(), component);
    if (found != components_.end()) {
        components_.erase(found);
    }
}
