#include "platform/forms/application.hpp"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/forms/thread.hpp"

// Never destroyed: the toolkit's own globals may be gone by the time static objects are
// destroyed, so the application object finishes its work at the end of Run instead, and whatever
// an exception left behind is reclaimed with the process.
TApplication* Application = new TApplication;

void EnsureApplicationObject() {
    Application->Initialize();
}

void TApplication::FormCreated(TForm* form, std::function<void()> forgetReference) {
    try {
        form->CheckEventsPublished();
    } catch (...) {
        forgetReference();
        delete form;
        throw;
    }
    if (mainForm_ == nullptr) {
        mainForm_ = form;
        forgetMainFormReference_ = std::move(forgetReference);
    }
}

// Called by every form as it is destroyed.
void ForgetForm(TForm* form) {
    TApplication& application = *Application;
    if (application.mainForm_ == form) {
        application.mainForm_ = nullptr;
        if (application.forgetMainFormReference_) {
            application.forgetMainFormReference_();
            application.forgetMainFormReference_ = nullptr;
        }
    }
}

void TApplication::ShowException(const Exception* E) {
    const std::string& message = E != nullptr ? E->Message() : std::string("unknown error");
    std::fprintf(stderr, "%s: %s\n", kProgramName, message.c_str());
    std::fflush(stderr);
    ShowErrorBox(message);
}

void TApplication::StopThreads() {
    if (!threadStopLimit_) {
        TThread::TerminateAndWaitAll();
        return;
    }
    if (!TThread::TerminateAndWaitAll(*threadStopLimit_)) {
        std::fprintf(stderr, "%s: a worker thread did not stop within %lld ms; ending without it\n",
                     kProgramName, static_cast<long long>(threadStopLimit_->count()));
        // No destructor may run: the forms that thread may still reach must stay as they are.
        std::_Exit(0);
    }
}
