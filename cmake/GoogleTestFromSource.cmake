# GoogleTest for a cross-build: no Debian package carries it prebuilt for the target, so it is
# compiled here from Debian's source package "googletest" (/usr/src/googletest), into the same
# build and with the same compiler as the tests. Provides the targets find_package(GTest) would.
set(SATLOG_GOOGLETEST_SOURCE_DIR "/usr/src/googletest" CACHE PATH
    "GoogleTest sources used when no prebuilt GoogleTest fits the target")
if(NOT EXISTS "${SATLOG_GOOGLETEST_SOURCE_DIR}/CMakeLists.txt")
  message(FATAL_ERROR "GoogleTest sources not found in ${SATLOG_GOOGLETEST_SOURCE_DIR} "
                      "(Debian: apt-get install googletest), needed for the tests of this build; "
                      "or configure with -DSATLOG_BUILD_TESTS=OFF")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
# SYSTEM: the project's strict warnings do not apply to GoogleTest's own headers.
add_subdirectory(${SATLOG_GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
foreach(lib gtest gtest_main gmock gmock_main)
  if(NOT TARGET GTest::${lib})
    add_library(GTest::${lib} ALIAS ${lib})
  endif()
endforeach()
