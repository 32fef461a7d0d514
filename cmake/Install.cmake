# What `cmake --install` puts where, and the Debian package built from it with CPack
# (scripts/package). Programs in bin/, man pages in share/man/man1/ (compressed, as Debian
# ships them), the desktop entry and the window's icon where desktops look for them.
include(GNUInstallDirs)

set(satlog_programs)
foreach(program satlog satlog-sim satlog-dump)
  if(TARGET ${program})
    list(APPEND satlog_programs ${program})
  endif()
endforeach()
if(NOT satlog_programs)
  return()
endif()
install(TARGETS ${satlog_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

if(WIN32)
  return()  # the Windows programs travel as a zip (scripts/windows-build)
endif()

# The man pages carry the project's version and the date of the release build.
string(TIMESTAMP SATLOG_MAN_DATE "%Y-%m-%d" UTC)
find_program(SATLOG_GZIP gzip REQUIRED)
foreach(program ${satlog_programs})
  set(page ${CMAKE_CURRENT_BINARY_DIR}/man/${program}.1)
  configure_file(${PROJECT_SOURCE_DIR}/docs/man/${program}.1.in ${page} @ONLY)
  # -n: no name or time stamp inside, so that the same page compresses to the same bytes.
  add_custom_command(OUTPUT ${page}.gz
                     COMMAND ${SATLOG_GZIP} -9nf -k ${page}
                     DEPENDS ${page}
                     COMMENT "Compressing the man page of ${program}")
  add_custom_target(${program}_man ALL DEPENDS ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

if(TARGET satlog)
  install(FILES ${PROJECT_SOURCE_DIR}/app/satlog.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/app/icons/satlog.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps)
endif()
set(SATLOG_PACKAGE_MAINTAINER "satlog developers <satlog@example.org>"
    CACHE STRING "Maintainer of the Debian package: name <mail address>")

# Debian wants both in the package's documentation folder; the changelog names this version.
string(TIMESTAMP SATLOG_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(changelog ${CMAKE_CURRENT_BINARY_DIR}/package/changelog)
configure_file(${PROJECT_SOURCE_DIR}/docs/package/changelog.in ${changelog} @ONLY)
add_custom_command(OUTPUT ${changelog}.gz
                   COMMAND ${SATLOG_GZIP} -9nf -k ${changelog}
                   DEPENDS ${changelog}
                   COMMENT "Compressing the package's changelog")
add_custom_target(satlog_changelog ALL DEPENDS ${changelog}.gz)
install(FILES ${PROJECT_SOURCE_DIR}/docs/package/copyright ${changelog}.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The Debian package. Its dependencies come from the programs' shared libraries
# (dpkg-shlibdeps); there are no maintainer scripts: desktops notice the new entry and icon
# through their own triggers.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME satlog)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${SATLOG_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "GPS receiver logger computing satellite positions")
set(CPACK_PACKAGE_DESCRIPTION
    "satlog drives a GPS receiver on a serial port, records its binary output in a\n"
    "raw log, decodes its ephemeris, measurement and position records and computes\n"
    "the earth-fixed position of every measured satellite by the IS-GPS-200 user\n"
    "algorithm, showing the count in a small window. It comes with satlog-sim, a\n"
    "simulated receiver, and satlog-dump, which reads the raw log.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
