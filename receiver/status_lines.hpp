// The three status lines of the main window as the receiver's code sees them. The window, the
// tests and the command-line tools each provide their own; the code that writes them is the same.
#pragma once

#include <string_view>

class StatusLines {
  public:
    virtual ~StatusLines() = default;
    // Replaces the whole text of status line 1, 2 or 3.
    virtual void SetStatusLine(int line, std::string_view text) = 0;
};
