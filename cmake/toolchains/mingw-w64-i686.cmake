# Cross-build for 32-bit Windows (i686) with MinGW-w64 from a Debian host.
#
# The "-posix" compilers use the winpthreads thread model: the default ("-win32") model of
# Debian's MinGW-w64 has no std::thread, std::mutex or std::condition_variable, which the form
# library and the receive thread need. Everything is linked statically, so that satlog.exe and
# satlog-dump.exe run on a bare Windows without any MinGW runtime DLL next to them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(SATLOG_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER ${SATLOG_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SATLOG_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${SATLOG_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${SATLOG_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No MinGW runtime DLLs (libstdc++, libgcc, winpthread) beside the programs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Release programs carry no symbol tables (they double the size of satlog-dump.exe).
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")

# The headers default to an older Windows and hide calls that came later (CancelIoEx and
# CancelSynchronousIo came with Vista); the programs target Windows 7 and later. NOMINMAX keeps
# <windows.h> from defining min and max as macros over std::min and std::max.
set(SATLOG_WINDOWS_DEFINES "-D_WIN32_WINNT=0x0601 -DWINVER=0x0601 -DNOMINMAX -DWIN32_LEAN_AND_MEAN")
# Doubles are computed in SSE2 registers, each operation rounded to double as on every 64-bit
# build: the x87 unit's default extended precision would make the Windows build compute other
# values (a corrected transmit time one rounding apart). Needs a processor with SSE2.
set(SATLOG_WINDOWS_FLOATING_POINT "-msse2 -mfpmath=sse")
set(CMAKE_C_FLAGS_INIT "${SATLOG_WINDOWS_DEFINES} ${SATLOG_WINDOWS_FLOATING_POINT}")
set(CMAKE_CXX_FLAGS_INIT "${SATLOG_WINDOWS_DEFINES} ${SATLOG_WINDOWS_FLOATING_POINT}")
set(CMAKE_RC_FLAGS_INIT "${SATLOG_WINDOWS_DEFINES}")

# The test programs cannot run on the build host: GoogleTest lists their tests when CTest runs
# (under Wine, when it is there), not right after linking.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
find_program(SATLOG_WINE NAMES wine wine32 wine64)
if(SATLOG_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${SATLOG_WINE})
endif()
