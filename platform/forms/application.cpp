#include "application.hpp"

#include <QApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QMessageBox>
#include <QPixmap>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "application_hooks.hpp"
#include "caption_relay.hpp"
#include "layout_resource.hpp"
#include "thread.hpp"

namespace {

// Qt keeps references to these for the life of the application object.
int argumentCount = 1;
char programName[] = "satlog";
char* arguments[] = {programName, nullptr};

bool HasDisplay() {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 != nullptr && *x11 != '\0') || (wayland != nullptr && *wayland != '\0');
}

// Off-screen and minimal platforms have nobody to click a message box away.
bool DrawsOnScreen() {
    if (QGuiApplication::instance() == nullptr) {
        return false;
    }
    QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

}  // namespace

// Never destroyed: Qt's own globals may be gone by the time static objects are destroyed, so the
// application object finishes its work at the end of Run instead, and whatever an exception left
// behind is reclaimed with the process.
TApplication* Application = new TApplication;

struct TApplication::Desktop {
    std::unique_ptr<QApplication> application;
};

void EnsureApplicationObject() {
    Application->Initialize();
}

TApplication::TApplication() : TComponent(nullptr), desktop_(std::make_unique<Desktop>()) {}

TApplication::~TApplication() {
    TThread::TerminateAndWaitAll();
    DestroyComponents();
    CaptionRelay::Instance().DetachFromWindowThread();
    desktop_->application.reset();
}

void TApplication::Initialize() {
    if (desktop_->application) {
        return;
    }
    // Without any display the program still runs, drawing off screen.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr && !HasDisplay()) {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    }
    desktop_->application = std::make_unique<QApplication>(argumentCount, arguments);
    QApplication::setQuitOnLastWindowClosed(true);
    CaptionRelay::Instance().AttachToWindowThread();
    QPixmap icon(QString::fromStdString(ResourcePath("MAINICON")));
    if (!icon.isNull()) {
        QApplication::setWindowIcon(QIcon(icon));
    }
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

void TApplication::Run() {
    if (mainForm_ == nullptr || !desktop_->application) {
        return;
    }
    InstallApplicationHooks(*mainForm_);
    mainForm_->Show();
    QApplication::exec();
    // The window is closed: stop the workers before any of them can reach a destroyed control.
    TThread::TerminateAndWaitAll();
    DestroyComponents();
    CaptionRelay::Instance().DetachFromWindowThread();
    desktop_->application.reset();
}

void TApplication::ShowException(const Exception* E) {
    const std::string& message = E != nullptr ? E->Message() : std::string("unknown error");
    std::fprintf(stderr, "%s: %s\n", programName, message.c_str());
    std::fflush(stderr);
    if (DrawsOnScreen()) {
        QMessageBox::critical(nullptr, QString::fromLatin1(programName),
                              QString::fromStdString(message));
    }
}
