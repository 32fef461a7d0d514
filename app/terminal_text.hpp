// Text from the receiver on its way to a terminal. A record header may hold any byte, and a
// terminal obeys some of them (ESC c resets it, others move the cursor or retitle the window):
// whatever the receiver sent is shown, never obeyed.
#pragma once

#include <string>
#include <string_view>

// `text` with every byte outside printable ASCII written as \xHH, and the backslash as \\, so
// that what is printed says exactly which bytes were there.
std::string EscapeForTerminal(std::string_view text);
