// The three status lines as the labels of the main form Form1. Callable from the main thread and
// from the receive thread; with SATLOG_TRACE set in the environment every change is also written
// to standard error as "LabelN: text".
#pragma once

#include "receiver/status_lines.hpp"

class Form1StatusLines : public StatusLines {
  public:
    void SetStatusLine(StatusLine line, std::string_view text) override;
};

Form1StatusLines& Form1Status();
