// The controls a form's layout can hold: static text labels and push buttons. A control is owned
// by its form and drawn inside the form's client area by the toolkit backend (a Qt widget, or a
// Win32 STATIC or BUTTON control on Windows).
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/forms/component.hpp"

class TForm;

// An event handler: a closure over the form that publishes it, called with the sender.
using TNotifyEvent = std::function<void(TObject* Sender)>;

class TControl : public TComponent {
  public:
    // The toolkit's side of the control (its widget or window), defined by the backend: for the
    // library itself and its tests.
    struct Native;
    // Destroys the control's window unless the form's window took it along already.
    struct NativeDeleter {
        void operator()(Native* native) const noexcept;
    };

    ~TControl() override = default;

    // Position and size in the parent's client area, in pixels at 96 pixels per inch.
    void SetBounds(int left, int top, int width, int height);
    int Left() const;
    int Top() const;
    int Width() const;
    int Height() const;

    bool Enabled() const;
    void SetEnabled(bool enabled);

    Native& NativePart() const noexcept { return *native_; }

  protected:
    // `native` is created by the subclass as a child of the owner form's window.
    TControl(TComponent* AOwner, std::unique_ptr<Native, NativeDeleter> native);
    // The form that owns a control; raises Exception when `AOwner` is none.
    static TForm& OwnerForm(TComponent* AOwner);

  private:
    std::unique_ptr<Native, NativeDeleter> native_;
};

class TLabel : public TControl {
  public:
    explicit TLabel(TComponent* AOwner);
    ~TLabel() override;

    // Replaces the whole caption. Callable from any thread: the text is stored at once and the
    // window's thread shows it; a label never shows a mix of two captions.
    void SetCaption(std::string_view text);
    std::string Caption() const;

    // With AutoSize the label fits its text; without, it keeps its size and cuts long text at
    // its edge.
    void SetAutoSize(bool autoSize);

    // Window's thread only: shows the caption last set. The library calls it for captions that
    // other threads set.
    void ShowCaption();

  private:
    mutable std::mutex captionMutex_;
    std::string caption_;  // guarded by captionMutex_
    bool autoSize_ = true;
};

class TButton : public TControl {
  public:
    explicit TButton(TComponent* AOwner);

    void SetCaption(std::string_view text);
    std::string Caption() const;

    // Position in the form's keyboard focus order; the control with TabOrder 0 has the focus
    // when the form is shown.
    int TabOrder() const noexcept { return tabOrder_; }
    void SetTabOrder(int order) { tabOrder_ = order; }

    // Called on the window's thread when the button is pressed.
    TNotifyEvent OnClick;
    // Presses the button as the user would: nothing happens while it is disabled.
    void Click();

  private:
    int tabOrder_ = -1;
};
