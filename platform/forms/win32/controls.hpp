// The controls a form's layout can hold: static text labels and push buttons. A control is owned
// by its form and drawn inside the form's client area. (Windows: the same interface as the
// library's other backend; a label is a STATIC control, a button a BUTTON control.)
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "component.hpp"

// Win32 handles, declared as <windows.h> declares them, so that this header needs none of it.
struct HWND__;
struct HFONT__;
using NativeWindow = HWND__*;
using NativeFont = HFONT__*;

// An event handler: a closure over the form that publishes it, called with the sender.
using TNotifyEvent = std::function<void(TObject* Sender)>;

class TControl : public TComponent {
  public:
    ~TControl() override;

    // Position and size in the parent's client area, in pixels at 96 pixels per inch.
    void SetBounds(int left, int top, int width, int height);
    int Left() const;
    int Top() const;
    int Width() const;
    int Height() const;

    bool Enabled() const;
    void SetEnabled(bool enabled);

    // The control's window, for the library itself and its tests.
    NativeWindow Handle() const noexcept { return window_; }

  protected:
    // `window` is created by the subclass as a child of the owner form's window.
    TControl(TComponent* AOwner, NativeWindow window);
    static NativeWindow ParentWindowOf(TComponent* AOwner);

  private:
    NativeWindow window_;
};

class TLabel : public TControl {
  public:
    explicit TLabel(TComponent* AOwner);

    // Replaces the whole caption. Callable from any thread: the text is stored at once and the
    // window's thread shows it; a label never shows a mix of two captions.
    void SetCaption(std::string_view text);
    std::string Caption() const;

    // With AutoSize the label fits its text; without, it keeps its size and cuts long text at
    // its edge.
    void SetAutoSize(bool autoSize);

  private:
    friend class TForm;
    // Window's thread: shows the latest caption if one was posted since the last call.
    void ShowPostedCaption();
    void ShowCaption();

    mutable std::mutex captionMutex_;
    std::string caption_;  // guarded by captionMutex_
    std::atomic<bool> posted_{false};
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
