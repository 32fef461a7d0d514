// The first pass's flag arithmetic, checked against the byte rule for every flag pattern: the
// lowest flag byte becomes (read AND 0x83) OR 0x6C, the next (read AND 0xCC) OR 0x20, the upper
// two bytes and all other fields pass back as read.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>

#include "app/line_settings.hpp"

namespace {

std::uint32_t FlagsWord(const DCB& dcb) {
    std::uint32_t word = 0;
    std::memcpy(&word, reinterpret_cast<const unsigned char*>(&dcb) + 8, sizeof word);
    return word;
}

DCB BlockWithFlags(std::uint32_t word, std::mt19937& random) {
    DCB dcb;
    auto* bytes = reinterpret_cast<unsigned char*>(&dcb);
    for (size_t i = 0; i < sizeof dcb; ++i) {
        bytes[i] = static_cast<unsigned char>(random());
    }
    std::memcpy(bytes + 8, &word, sizeof word);
    return dcb;
}

}  // namespace

TEST(FirstPassSettings, EveryFlagPatternFollowsTheByteRule) {
    std::mt19937 random(7);
    for (std::uint32_t low16 = 0; low16 <= 0xFFFF; ++low16) {
        const std::uint32_t upper = static_cast<std::uint32_t>(random()) & 0xFFFF0000u;
        const std::uint32_t read = upper | low16;
        DCB dcb = BlockWithFlags(read, random);
        const DCB before = dcb;
        ApplyFirstPassSettings(dcb);

        const std::uint32_t expected =
            upper | ((((read >> 8) & 0xCC) | 0x20) << 8) | ((read & 0x83) | 0x6C);
        ASSERT_EQ(FlagsWord(dcb), expected) << std::hex << "flags read 0x" << read;
        ASSERT_EQ(dcb.DCBlength, before.DCBlength);
        ASSERT_EQ(dcb.XonLim, before.XonLim);
        ASSERT_EQ(dcb.XoffLim, before.XoffLim);
        ASSERT_EQ(dcb.XonChar, before.XonChar);
        ASSERT_EQ(dcb.XoffChar, before.XoffChar);
        ASSERT_EQ(dcb.ErrorChar, before.ErrorChar);
        ASSERT_EQ(dcb.EofChar, before.EofChar);
        ASSERT_EQ(dcb.EvtChar, before.EvtChar);
        ASSERT_EQ(dcb.wReserved, before.wReserved);
        ASSERT_EQ(dcb.wReserved1, before.wReserved1);
    }
}

TEST(FirstPassSettings, FramingAndRate) {
    std::mt19937 random(11);
    DCB dcb = BlockWithFlags(0, random);
    ApplyFirstPassSettings(dcb);
    EXPECT_EQ(dcb.BaudRate, 9600u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
}
