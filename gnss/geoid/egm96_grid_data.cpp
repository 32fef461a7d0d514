// The EGM96 15-minute grid file, compiled in byte for byte by the assembler, so that the
// program needs no data file at run time and no generated source of a million numbers slows the
// build. The file is a GTX grid: a header of four big-endian doubles (south latitude, west
// longitude, latitude and longitude steps, degrees) and two big-endian 32-bit counts (rows,
// columns), then rows x columns big-endian floats (metres), row by row from the south.
#include "gnss/geoid/egm96_grid_data.hpp"

// The section for read-only data is named differently in ELF and in PE/COFF objects.
#if defined(_WIN32)
#define SATLOG_RODATA_SECTION ".section .rdata,\"dr\"\n"
#else
#define SATLOG_RODATA_SECTION ".section .rodata\n"
#endif

asm(SATLOG_RODATA_SECTION
    ".balign 16\n"
    "satlog_egm96_grid_begin:\n"
    ".incbin \"" SATLOG_EGM96_GRID
    "\"\n"
    "satlog_egm96_grid_end:\n"
    ".text\n");

// The names are given to the assembler as they are, so that no platform's prefix (a leading
// underscore on 32-bit Windows) comes between the declaration and the label; the labels are local
// to this object, so on ELF they are reached directly rather than through the global offset table.
#if defined(_WIN32)
#define SATLOG_LOCAL_DATA
#else
#define SATLOG_LOCAL_DATA __attribute__((visibility("hidden")))
#endif
extern "C" SATLOG_LOCAL_DATA const std::uint8_t satlogEgm96GridBegin[] asm(
    "satlog_egm96_grid_begin");
extern "C" SATLOG_LOCAL_DATA const std::uint8_t satlogEgm96GridEnd[] asm("satlog_egm96_grid_end");

std::span<const std::uint8_t> Egm96GridFile() {
    const auto begin = reinterpret_cast<std::uintptr_t>(satlogEgm96GridBegin);
    const auto end = reinterpret_cast<std::uintptr_t>(satlogEgm96GridEnd);
    return {satlogEgm96GridBegin, static_cast<std::size_t>(end - begin)};
}

const char* Egm96GridSha256() {
    return SATLOG_EGM96_SHA256;
}
