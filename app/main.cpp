// satlog: records a GPS receiver's output on COM3 in "mavu0.txt" and shows how many satellites'
// positions it computed at each epoch.
#include "application.hpp"
#include "main_form.hpp"

int main() {
    try {
        Application->Initialize();
        Application->CreateForm(Form1);
        Application->Run();
    } catch (Exception& exception) {
        Application->ShowException(&exception);
    }
    return 0;
}
