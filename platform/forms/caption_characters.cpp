#include "platform/forms/caption_characters.hpp"

#include <array>

namespace {

// Windows-1252 from 0x80 to 0x9F.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 0x88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 0x98
};

}  // namespace

char16_t CaptionCharacter(unsigned char byte) {
    if (byte >= 0x80 && byte < 0xA0) {
        return kHighControls[byte - 0x80];
    }
    return static_cast<char16_t>(byte);
}

std::u16string CaptionCharacters(std::string_view text) {
    std::u16string characters(text.size(), u'\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        characters[i] = CaptionCharacter(static_cast<unsigned char>(text[i]));
    }
    return characters;
}
