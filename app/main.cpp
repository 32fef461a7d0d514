// satlog: records a GPS receiver's output on COM3 in "mavu0.txt" and shows how many satellites'
// positions it computed at each epoch.
#include "app/logging_signals.hpp"
#include "app/main_form.hpp"
#include "platform/forms/application.hpp"

int main() {
    IgnoreSignalsThatWouldStopLogging();
    try {
        Application->Initialize();
        Application->CreateForm(Form1);
        Application->Run();
    } catch (Exception& exception) {
        Application->ShowException(&exception);
    }
    return 0;
}
