// A form: a top-level window built from a layout resource while the form is constructed. The
// layout creates the form's controls (owned by the form) and sets every property it lists; the
// derived form then picks up its published controls by name and publishes its event handlers.
// (Windows: the same interface as the library's other backend; the window is a Win32 window.)
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "component.hpp"
#include "controls.hpp"
#include "exception.hpp"

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

    // The window, for the library itself and its tests.
    NativeWindow Handle() const noexcept { return window_; }

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
    friend class FormWindowProcedure;
    struct EventLink {
        TButton* button;
        std::string handler;
        bool published;
    };

    // The window's thread: shows the captions that other threads set on the form's labels.
    void ShowPostedCaptions();

    std::string layoutName_;
    NativeWindow window_ = nullptr;
    NativeFont font_ = nullptr;          // the layout's font, shared by the controls; owned
    std::optional<unsigned> textColor_;  // 0x00BBGGRR; none: the desktop's text colour
    int left_ = 0;
    int top_ = 0;
    std::vector<EventLink> events_;
};
