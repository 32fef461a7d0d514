// The application object: creates the program's forms, runs the message loop until the main form
// closes, and reports exceptions. `Application` is the one instance.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <type_traits>

#include "platform/forms/component.hpp"
#include "platform/forms/exception.hpp"
#include "platform/forms/form.hpp"

class TApplication : public TComponent {
  public:
    TApplication();
    ~TApplication() override;

    // Connects to the desktop (with Qt and no display at all, draws off screen; on Windows,
    // registers the forms' window class) and sets the program's icon from its MAINICON resource.
    // Further calls do nothing.
    void Initialize();

    // Creates a form of class T owned by the application and stores it in `reference` before
    // T's constructor runs. The first form created becomes the main form. When the constructor
    // raises, `reference` is null again and the exception goes on to the caller.
    template <class T>
    void CreateForm(T*& reference) {
        static_assert(std::is_base_of_v<TForm, T>, "CreateForm makes forms");
        void* memory = ::operator new(sizeof(T));
        reference = static_cast<T*>(memory);
        T* form = nullptr;
        try {
            form = ::new (memory) T(this);
        } catch (...) {
            reference = nullptr;
            ::operator delete(memory);
            throw;
        }
        FormCreated(form, [&reference] { reference = nullptr; });
    }

    // Shows the main form and runs the message loop until it is closed. Then every worker
    // thread still running is terminated and waited for, the forms are destroyed and the
    // connection to the desktop is closed.
    void Run();

    // Bounds the wait for the worker threads after they were told to stop (at the end of Run).
    // A thread still running then is blocked in a call that nothing could wake, and would keep
    // the process alive with no window: the process then ends at once, with exit code 0 as after
    // any close, destroying nothing. Without a bound the wait has none.
    void SetThreadStopLimit(std::chrono::milliseconds limit) { threadStopLimit_ = limit; }

    // Reports an exception: to standard error always (seen when the program's output is
    // redirected), and in a message box when a desktop is there to show it.
    void ShowException(const Exception* E);

    TForm* MainForm() const noexcept { return mainForm_; }

  private:
    friend void ForgetForm(TForm* form);
    void FormCreated(TForm* form, std::function<void()> forgetReference);
    // Terminates the worker threads and waits for them, within the stop limit if there is one.
    void StopThreads();
    // Drawn by the toolkit: the message box of ShowException.
    void ShowErrorBox(const std::string& message);

    // In front of every reported error and on the message box.
    static constexpr const char* kProgramName = "satlog";

    TForm* mainForm_ = nullptr;
    std::optional<std::chrono::milliseconds> threadStopLimit_;
    std::function<void()> forgetMainFormReference_;
    // The toolkit's connection to the desktop, defined by the backend.
    struct Desktop;
    std::unique_ptr<Desktop> desktop_;
};

extern TApplication* Application;
