#include "app/form1_status_lines.hpp"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/main_form.hpp"
#include "records/terminal_text.hpp"

namespace {

bool TraceWanted() {
    static const bool wanted = std::getenv("SATLOG_TRACE") != nullptr;
    return wanted;
}

}  // namespace

void Form1StatusLines::SetStatusLine(StatusLine line, std::string_view text) {
    TForm1* form = Form1;
    if (form == nullptr) {
        return;  // the window is gone
    }
    TLabel* label = line == StatusLine::Header    ? form->Label1
                    : line == StatusLine::Outcome ? form->Label2
                    : line == StatusLine::Count   ? form->Label3
                                                  : nullptr;
    if (label == nullptr) {
        return;
    }
    label->SetCaption(text);
    if (TraceWanted()) {
        // One write per line, so that lines of the two threads never interleave.
        const std::string shown = EscapeForTerminal(text);
        std::fprintf(stderr, "Label%d: %s\n", NumberOf(line), shown.c_str());
    }
}

Form1StatusLines& Form1Status() {
    static Form1StatusLines lines;
    return lines;
}
