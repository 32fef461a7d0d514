// A form: a top-level window built from a layout resource while the form is constructed. The
// layout creates the form's controls (owned by the form) and sets every property it lists; the
// derived form then picks up its published controls by name and publishes its event handlers.
// The window itself belongs to the toolkit backend (Qt Widgets, or Win32 on Windows).
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/forms/component.hpp"
#include "platform/forms/controls.hpp"
#include "platform/forms/exception.hpp"

class TForm : public TComponent {
  public:
    // Reads the layout resource `layoutResource` (e.g. "TFORM1"); raises Exception when it
    // cannot be read or names a class, property or value the library does not know.
    TForm(TComponent* AOwner, std::string_view layoutResource);
    ~TForm() override;

    std::string Caption() const;
    int Left() const noexcept { return left_; }
    int Top() const noexcept { return top_; }
    int ClientWidth() const;
    int ClientHeight() const;

    // Forms are hidden until shown; the application shows its main form when it runs.
    void Show();
    // Hides the form; closing the main form ends the application's message loop.
    void Close();
    bool Visible() const;

    // The toolkit's side of the form (its window), defined by the backend: for the library
    // itself and its tests.
    struct Native;
    Native& NativePart() const noexcept { return *native_; }

    // Raises Exception if the layout names an event handler the form did not publish.
    void CheckEventsPublished() const;

  protected:
    // The control the layout created under `name`, as class T; raises Exception if it has none.
    template <class T>
    T* Published(std::string_view name) const {
        T* control = dynamic_cast<T*>(FindComponent(name));
        if (control == nullptr) {
            throw Exception("Layout " + layoutName_ + " has no " + std::string(name) +
                            " of the expected class");
        }
        return control;
    }

    // Connects `handler` to every event the layout assigned to the handler named `name`.
    void PublishEvent(std::string_view name, const TNotifyEvent& handler);

  private:
    friend class LayoutLoader;
    struct EventLink {
        TButton* button;
        std::string handler;
        bool published;
    };
    // Frees the window and whatever the backend keeps with it; the backend defines it.
    struct NativeDeleter {
        void operator()(Native* native) const noexcept;
    };

    // By the backend: creates the (hidden, empty) window into native_.
    void OpenWindow();
    // The button first in the focus order, which has the focus when the form is shown; or null.
    TButton* FirstInTabOrder() const;

    std::string layoutName_;
    std::unique_ptr<Native, NativeDeleter> native_;
    int left_ = 0;
    int top_ = 0;
    std::vector<EventLink> events_;
};
