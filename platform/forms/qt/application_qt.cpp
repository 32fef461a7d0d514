#include <QApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QMessageBox>
#include <QPixmap>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

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

// The displays the environment names, for the one line that says which could not be opened.
std::string DisplayNames() {
    std::string names;
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') {
            names += (names.empty() ? "" : ", ") + std::string(variable) + "=" + value;
        }
    }
    return names.empty() ? "(none named)" : names;
}

// While the toolkit connects to the display. Without a display it would abort the program with
// its own advice to reinstall the application; the user needs to learn which display could not
// be reached, and the program ends with status 1 instead. What the toolkit says about its
// display meanwhile is held back: it is the cause in that line, or, once connected, passed on.
struct HeldMessage {
    QtMsgType type;
    std::string category;
    QString text;
};
std::vector<HeldMessage> displayMessages;
QtMessageHandler toolkitHandler = nullptr;  // the handler before ours (Qt's own by default)

void OnConnectingMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    const std::string_view category = context.category != nullptr ? context.category : "";
    if (type == QtFatalMsg) {
        const std::string cause = displayMessages.empty()
                                      ? "no platform plugin could be initialised"
                                      : displayMessages.front().text.toStdString();
        std::fprintf(stderr, "satlog: cannot open the window on the display %s: %s\n",
                     DisplayNames().c_str(), cause.c_str());
        std::_Exit(1);
    }
    if (category.starts_with("qt.qpa")) {
        displayMessages.push_back({type, std::string(category), text});
        return;
    }
    toolkitHandler(type, context, text);
}

void PassOnDisplayMessages() {
    for (const HeldMessage& held : displayMessages) {
        const QMessageLogContext context(nullptr, 0, nullptr, held.category.c_str());
        qt_message_output(held.type, context, held.text);
    }
    displayMessages.clear();
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
    toolkitHandler = qInstallMessageHandler(OnConnectingMessage);
    desktop_->application = std::make_unique<QApplication>(argumentCount, arguments);
    qInstallMessageHandler(toolkitHandler);
    PassOnDisplayMessages();
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
