#include <QApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QMessageBox>
#include <QPixmap>
#include <cstdlib>
#include <string>

#include "platform/forms/application.hpp"
#include "platform/forms/layout_resource.hpp"
#include "platform/forms/qt/application_hooks.hpp"
#include "platform/forms/qt/caption_relay.hpp"

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

struct TApplication::Desktop {
    std::unique_ptr<QApplication> application;
};

TApplication::TApplication() : TComponent(nullptr), desktop_(std::make_unique<Desktop>()) {}

TApplication::~TApplication() {
    StopThreads();
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

void TApplication::Run() {
    if (mainForm_ == nullptr || !desktop_->application) {
        return;
    }
    InstallApplicationHooks(*mainForm_);
    mainForm_->Show();
    QApplication::exec();
    // The window is closed: stop the workers before any of them can reach a destroyed control.
    StopThreads();
    DestroyComponents();
    CaptionRelay::Instance().DetachFromWindowThread();
    desktop_->application.reset();
}

void TApplication::ShowErrorBox(const std::string& message) {
    if (DrawsOnScreen()) {
        QMessageBox::critical(nullptr, QString::fromLatin1(kProgramName),
                              QString::fromStdString(message));
    }
}
