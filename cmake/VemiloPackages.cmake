# Debian packages by CPack: "vemilo-cli" (the command-line tool, no Qt) and, in a build with the
# window, "vemilo" (the window, depending on vemilo-cli). Build them with `cpack -G DEB` in the
# build folder; dependencies on shared libraries come from dpkg-shlibdeps.

# Each package carries its changelog, as Debian policy asks.
set(VEMILO_CHANGELOG ${CMAKE_BINARY_DIR}/docs/changelog.Debian.gz)
add_custom_command(
  OUTPUT ${VEMILO_CHANGELOG}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/docs
  COMMAND gzip -9 -n -c ${VEMILO_RESOURCES_DIR}/changelog.Debian > ${VEMILO_CHANGELOG}
  DEPENDS ${VEMILO_RESOURCES_DIR}/changelog.Debian)
add_custom_target(vemilo-changelog ALL DEPENDS ${VEMILO_CHANGELOG})
install(FILES ${VEMILO_CHANGELOG} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vemilo-cli COMPONENT cli)
set(VEMILO_COMPONENTS cli)
if(VEMILO_BUILD_UI)
  install(FILES ${VEMILO_CHANGELOG} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vemilo COMPONENT gui)
  list(APPEND VEMILO_COMPONENTS gui)
endif()

set(CPACK_PACKAGE_NAME vemilo)
set(CPACK_PACKAGE_VENDOR "The Vemilo developers")
set(CPACK_PACKAGE_CONTACT "The Vemilo developers <vemilo@example.org>")
# The program's version as Debian orders it: 3.00~beta1 sorts before 3.00.
set(CPACK_PACKAGE_VERSION ${VEMILO_PACKAGE_VERSION})
set(CPACK_DEBIAN_PACKAGE_VERSION ${VEMILO_PACKAGE_VERSION})
set(CPACK_COMPONENTS_ALL ${VEMILO_COMPONENTS})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The Vemilo developers <vemilo@example.org>")
set(CPACK_DEBIAN_CLI_PACKAGE_NAME vemilo-cli)
# Each package's own synopsis on the first line, then short paragraphs; CPack indents each line
# by one space and turns the empty lines into " .".
set(CPACK_DEBIAN_CLI_DESCRIPTION "command-line verifier of bit-identical audio copies
vemilo-cli tells whether two PCM audio files (WAV, RF64, BW64, W64,
FLAC, AIFF, AIFF-C or CAF) hold the same audio frame for frame, and
where they differ: every differing frame with its sample values, which
file ended first, and a verdict in its exit status.

It also checks whole folder trees in parallel, writes text or JSON
reports that can be resumed and merged, keeps audio checksums, measures
how and why two copies differ, and splits an archive into shards for a
cluster.

This package holds the command-line tool only; it needs no graphical
libraries.")
set(CPACK_DEBIAN_GUI_PACKAGE_NAME vemilo)
set(CPACK_DEBIAN_GUI_PACKAGE_DEPENDS "vemilo-cli (= ${VEMILO_PACKAGE_VERSION}-1)")
set(CPACK_DEBIAN_GUI_DESCRIPTION "desktop window for verifying bit-identical audio copies
Vemilo compares two PCM audio files frame for frame in a window: two
folder lists to choose them from, a log of every differing frame, a
verdict, and a strip that maps where along the file the differences lie.

It can also walk two folders pair by pair. The command-line tool of the
same name, vemilo-cli, comes with it.")
set(CPACK_DEBIAN_GUI_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_CLI_PACKAGE_SECTION sound)
include(CPack)
