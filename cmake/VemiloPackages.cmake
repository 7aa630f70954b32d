# Debian packages by CPack: "vemilo-cli" (the command-line tool, no Qt) and, in a build with the
# window, "vemilo" (the window, depending on vemilo-cli). Build them with `cpack -G DEB` in the
# build folder; dependencies on shared libraries come from dpkg-shlibdeps.

# Each package carries its changelog, as Debian policy asks.
set(VEMILO_CHANGELOG ${CMAKE_BINARY_DIR}/docs/changelog.Debian.gz)
add_custom_command(
  OUTPUT ${VEMILO_CHANGELOG}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/docs
  COMMAND gzip -9 -n -c ${PROJECT_SOURCE_DIR}/resources/changelog.Debian > ${VEMILO_CHANGELOG}
  DEPENDS ${PROJECT_SOURCE_DIR}/resources/changelog.Debian)
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
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "tell whether two PCM WAV files hold the same audio, frame for frame")
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
set(CPACK_DEBIAN_CLI_DESCRIPTION "tell whether two PCM WAV files hold the same audio (command line)
 vemilo-cli compares two PCM WAV files frame by frame, byte for byte, and
 reports every differing frame. It also checks whole folder trees, writes
 JSON reports, keeps audio checksums and splits an archive into shards for
 a cluster. It needs no graphical libraries.")
set(CPACK_DEBIAN_GUI_PACKAGE_NAME vemilo)
set(CPACK_DEBIAN_GUI_PACKAGE_DEPENDS "vemilo-cli (= ${PROJECT_VERSION}-1)")
set(CPACK_DEBIAN_GUI_DESCRIPTION "tell whether two PCM WAV files hold the same audio (window)
 Vemilo compares two PCM WAV files frame by frame in a window: two folder
 lists, a log of every differing frame and a verdict, and a series through
 two folders pair by pair.")
set(CPACK_DEBIAN_GUI_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_CLI_PACKAGE_SECTION sound)
include(CPack)
