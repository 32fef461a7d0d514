// The EGM96 grid file as compiled into the program (egm96_grid_data.cpp).
#pragma once

#include <cstdint>
#include <span>

std::span<const std::uint8_t> Egm96GridFile();
// The SHA-256 of the file that was compiled in, as 64 lower-case hex digits.
const char* Egm96GridSha256();
