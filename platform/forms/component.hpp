// TObject, the root of the library's classes, and TComponent, an object that may own others: an
// owner destroys the components it owns when it is destroyed itself, last created first.
#pragma once

#include <string>
#include <string_view>
#include <vector>

class TObject {
  public:
    TObject() = default;
    TObject(const TObject&) = delete;
    TObject& operator=(const TObject&) = delete;
    virtual ~TObject() = default;
};

class TComponent : public TObject {
  public:
    explicit TComponent(TComponent* AOwner);
    ~TComponent() override;

    TComponent* Owner() const noexcept { return owner_; }
    const std::string& Name() const noexcept { return name_; }
    void SetName(std::string name) { name_ = std::move(name); }

    // The owned component with this name, or null.
    TComponent* FindComponent(std::string_view name) const;
    int ComponentCount() const noexcept { return static_cast<int>(components_.size()); }
    TComponent* Components(int index) const { return components_.at(index); }

    // Destroys every owned component, last created first.
    void DestroyComponents();

  private:
    void RemoveComponent(TComponent* component);

    TComponent* owner_;
    std::string name_;
    std::vector<TComponent*> components_;
};
