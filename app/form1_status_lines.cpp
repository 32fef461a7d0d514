#include "app/form1_status_lines.hpp"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/main_form.hpp"
#include "receiver/terminal_text.hpp"

namespace {

bool TraceWanted() {
    static const bool wanted = std::getenv("SATLOG_TRACE") != nullptr;
    return wanted;
}

}  // namespace

void Form1StatusLines::SetStatusLine(int line, std::string_view text) {
    TForm1* form = Form1;
    if (form == nullptr) {
        return;  // the window is gone
    }
    TLabel* label = line == 1   ? form->Label1
                    : line == 2 ? form->Label2
                    : line == 3 ? form->Label3
                                : nullptr;
    if (label == nullptr) {
        return;
    }
    label->SetCaption(text);
    if (TraceWanted()) {
        // One write per line, so that lines of the two threads never interleave.
        const std::string shown = EscapeForTerminal(text);
        std::fprintf(stderr, "Label%d: %s\n", line, shown.c_str());
    }
}

Form1StatusLines& Form1Status() {
    static Form1StatusLines lines;
    return lines;
}
