// What the trace prints of the receiver's bytes: the bytes are named, never sent raw.
#include <gtest/gtest.h>

#include <string>

#include "records/terminal_text.hpp"

namespace {

TEST(TerminalText, BytesATerminalWouldObeyAreWrittenOut) {
    using namespace std::string_literals;
    EXPECT_EQ(EscapeForTerminal(",PBN,"), ",PBN,");
    EXPECT_EQ(EscapeForTerminal("\x1B"
                                "c"),
              "\\x1Bc");  // resets a terminal
    EXPECT_EQ(EscapeForTerminal("\r\n\t\x7F"), "\\x0D\\x0A\\x09\\x7F");
    EXPECT_EQ(EscapeForTerminal("\x9B"
                                "2J\xE9"),
              "\\x9B2J\\xE9");  // a one-byte CSI
    EXPECT_EQ(EscapeForTerminal("a\0b"s), "a\\x00b");
    EXPECT_EQ(EscapeForTerminal("\\x41"), "\\\\x41") << "an escape cannot be forged";
}

}  // namespace
