#include "platform/forms/qt/application_hooks.hpp"

#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QEvent>
#include <QMouseEvent>
#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/forms/form.hpp"
#include "platform/forms/qt/native_qt.hpp"

namespace {

// Milliseconds since this process was started, from the kernel's record of its start time.
double MillisecondsSinceProcessStart() {
    std::ifstream stat("/proc/self/stat");
    std::string line;
    std::getline(stat, line);
    // Fields after the command name (which may hold spaces) start behind the last ')'.
    size_t close = line.rfind(')');
    if (close == std::string::npos) {
        return -1.0;
    }
    std::istringstream fields(line.substr(close + 2));
    std::string field;
    unsigned long long startTicks = 0;
    for (int index = 3; fields >> field; ++index) {
        if (index == 22) {
            startTicks = std::stoull(field);
            break;
        }
    }
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    double nowMs = static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
    double startMs =
        static_cast<double>(startTicks) * 1e3 / static_cast<double>(sysconf(_SC_CLK_TCK));
    return nowMs - startMs;
}

const char* Variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

// Presses and releases the left mouse button in the middle of the widget.
void ClickLikeAPerson(QWidget* widget) {
    if (widget == nullptr) {
        return;
    }
    QPointF local(widget->width() / 2.0, widget->height() / 2.0);
    QPointF global = widget->mapToGlobal(local);
    QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}

class FirstPaintWatcher : public QObject {
  public:
    explicit FirstPaintWatcher(TForm& form) : QObject(WidgetOf(form)), form_(form) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !seen_) {
            seen_ = true;
            if (Variable("SATLOG_FIRST_PAINT") != nullptr) {
                std::fprintf(stderr, "first paint: %.0f ms after process start\n",
                             MillisecondsSinceProcessStart());
                std::fflush(stderr);
            }
            // After this paint has been drawn.
            QTimer::singleShot(0, this, [this] { AfterFirstPaint(); });
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    void AfterFirstPaint() {
        constexpr int kClickSpacingMs = 300;
        if (const char* names = Variable("SATLOG_CLICK")) {
            std::stringstream list(names);
            std::string name;
            int delay = 0;
            while (std::getline(list, name, ',')) {
                auto* control = dynamic_cast<TControl*>(form_.FindComponent(name));
                if (control == nullptr) {
                    std::fprintf(stderr, "SATLOG_CLICK: the form has no control %s\n",
                                 name.c_str());
                    continue;
                }
                QPointer<QWidget> widget = WidgetOf(*control);
                QTimer::singleShot(delay, this, [widget] { ClickLikeAPerson(widget.data()); });
                delay += kClickSpacingMs;
            }
        }
        if (const char* seconds = Variable("SATLOG_CLOSE_AFTER")) {
            int ms = static_cast<int>(std::atof(seconds) * 1000.0);
            QTimer::singleShot(ms, this, [this] {
                if (const char* path = Variable("SATLOG_GRAB")) {
                    if (!WidgetOf(form_)->grab().save(QString::fromLocal8Bit(path), "PNG")) {
                        std::fprintf(stderr, "SATLOG_GRAB: cannot write %s\n", path);
                    }
                }
                form_.Close();
            });
        }
    }

    TForm& form_;
    bool seen_ = false;
};

}  // namespace

void InstallApplicationHooks(TForm& mainForm) {
    WidgetOf(mainForm)->installEventFilter(new FirstPaintWatcher(mainForm));
}
