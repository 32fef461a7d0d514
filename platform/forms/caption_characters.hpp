// The system's texts are single bytes, as the receiver sends them: a record header shown on a
// status line may hold any byte. Each byte is shown as one character of Windows-1252 (the
// Western code page of the Windows desktop the program was made for), on every toolkit.
#pragma once

#include <string>
#include <string_view>

// The character of one byte: ASCII and 0xA0-0xFF as in Latin-1, 0x80-0x9F as Windows-1252 has
// them (the five bytes it leaves unassigned stay the control characters of the same value).
char16_t CaptionCharacter(unsigned char byte);

// One UTF-16 character per byte of `text`.
std::u16string CaptionCharacters(std::string_view text);
