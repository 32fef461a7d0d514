#include "app/main_form.hpp"

#include "app/form1_status_lines.hpp"
#include "app/port_and_log.hpp"
#include "app/thread1.hpp"

TForm1* Form1 = nullptr;

TForm1::TForm1(TComponent* Owner)
    : TForm(Owner, "TFORM1"),
      Label1(Published<TLabel>("Label1")),
      Label2(Published<TLabel>("Label2")),
      Label3(Published<TLabel>("Label3")),
      Button4(Published<TButton>("Button4")) {
    PublishEvent("Button4Click", [this](TObject* Sender) { Button4Click(Sender); });
    OpenPortAndLog(Form1Status());
}

void TForm1::Button4Click(TObject* /*Sender*/) {
    // The port, the log and the status lines serve one receive thread: START works once.
    Button4->SetEnabled(false);
    auto* receiver = new thread1(true);
    receiver->Resume();
}
