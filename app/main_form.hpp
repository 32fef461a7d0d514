// The main window: three status lines and the START button, laid out by the resource TFORM1.
#pragma once

#include "platform/forms/controls.hpp"
#include "platform/forms/form.hpp"

class TForm1 : public TForm {
  public:
    // Builds the window from TFORM1, then opens the port and the log.
    explicit TForm1(TComponent* Owner);
    ~TForm1() override = default;

    TLabel* Label1;
    TLabel* Label2;
    TLabel* Label3;
    TButton* Button4;

    void Button4Click(TObject* Sender);
};

extern TForm1* Form1;
