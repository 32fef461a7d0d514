// The three status lines of the main window as the receiver's code sees them. The window, the
// tests and the command-line tools each provide their own; the code that writes them is the same.
#pragma once

#include <string_view>

// The lines by role, top to bottom; the value is the line's number in the window (Label1..3).
enum class StatusLine : int {
    Header = 1,   // the last record header received, or whether COM3 opened
    Outcome = 2,  // what became of the last record, or of setting the line up
    Count = 3,    // the satellites counted at the last epoch, or a raw log that cannot be created
};

// The line's number in the window, 1 to 3.
constexpr int NumberOf(StatusLine line) {
    return static_cast<int>(line);
}

class StatusLines {
  public:
    virtual ~StatusLines() = default;
    // Replaces the whole text of one line.
    virtual void SetStatusLine(StatusLine line, std::string_view text) = 0;
};
