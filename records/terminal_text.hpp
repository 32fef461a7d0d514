// Bytes from a serial line on their way to a terminal (a record header in the window's trace, a
// command in the simulator's log). They may be any bytes, and a terminal obeys some of them
// (ESC c resets it, others move the cursor or retitle the window): what came over the line is
// shown, never obeyed.
#pragma once

#include <string>
#include <string_view>

// `text` with every byte outside printable ASCII written as \xHH, and the backslash as \\, so
// that what is printed says exactly which bytes were there.
std::string EscapeForTerminal(std::string_view text);
