# Debian's hardening flags, as its own packages are built (dpkg-buildflags with hardening=+all):
# stack protector and clash protection, fortified C library calls, format checks, relocations
# read-only and bound at load. Not for Debug, sanitizer or fuzz builds, which need their own flags
# (fortification needs optimisation). The optimisation level stays the build type's.
option(VEMILO_HARDENING "Build with Debian's hardening flags when dpkg-buildflags is present" ON)
find_program(VEMILO_DPKG_BUILDFLAGS dpkg-buildflags)
if(VEMILO_HARDENING AND VEMILO_DPKG_BUILDFLAGS AND NOT VEMILO_SANITIZE AND NOT VEMILO_FUZZ
   AND NOT CMAKE_BUILD_TYPE STREQUAL "Debug")
  foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
    execute_process(
      COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all ${VEMILO_DPKG_BUILDFLAGS} --get ${kind}
      OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE)
    separate_arguments(flags UNIX_COMMAND "${flags}")
    list(FILTER flags EXCLUDE REGEX "^-O|^-g$|^-ffile-prefix-map=|^-fdebug-prefix-map=")
    if(kind STREQUAL "LDFLAGS")
      add_link_options(${flags})
    else()
      add_compile_options(${flags})
    endif()
  endforeach()
endif()

# Stripped as Debian strips: without the compiler's .comment and .note sections either.
find_program(VEMILO_OBJCOPY objcopy)
if(VEMILO_OBJCOPY AND NOT CMAKE_CROSSCOMPILING)
  set(CMAKE_STRIP ${PROJECT_SOURCE_DIR}/scripts/strip-like-debian.sh)
endif()
