# The packages, made by CPack from the install rules: a Debian package on
# Linux (cmake --workflow --preset package) and a zip of the Windows program
# (cmake --workflow --preset windows-package). Their version is the project's.
include(GNUInstallDirs)

set(CPACK_PACKAGE_NAME traverse)
set(CPACK_PACKAGE_VENDOR "The traverse developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "adjust a connecting traverse between two known points")
# Lines of at most 80 characters, as the Debian control file wants them.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "traverse adjusts a connecting traverse for land surveyors: a chain of"
  "measured angles (gon) and leg lengths (metres) from a known point B,"
  "oriented on a known point A, to a known point C, oriented on a known"
  "point D. It asks for the points and the measurements on the console,"
  "spreads the angular misclosure equally over the angles and the linear"
  "misclosure over the legs in proportion to their lengths, and prints the"
  "adjusted coordinates of every new point."
  ""
  "Its output is fixed to the byte, so runs can be scripted with answer files"
  "and their results compared.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(traverse_package_files ${CMAKE_BINARY_DIR}/package_files)

# Writes text to a file only when it changed, so what depends on it is not
# rebuilt by every configure; a change of `source` configures again.
function(traverse_write_text path text)
  file(WRITE ${path}.new "${text}")
  file(COPY_FILE ${path}.new ${path} ONLY_IF_DIFFERENT)
  file(REMOVE ${path}.new)
endfunction()

if(WIN32)
  # The zip: traverse.exe at the top (src/app), the examples, and the README
  # and the licence as Windows text with CR LF line ends.
  foreach(pair "README.md;README.txt" "LICENSE;LICENSE.txt")
    list(GET pair 0 source)
    list(GET pair 1 target)
    file(READ ${PROJECT_SOURCE_DIR}/${source} text)
    string(REPLACE "\r\n" "\n" text "${text}")
    string(REPLACE "\n" "\r\n" text "${text}")
    traverse_write_text(${traverse_package_files}/${target} "${text}")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${source})
    install(FILES ${traverse_package_files}/${target} DESTINATION .)
  endforeach()
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION examples)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win32)
else()
  # The Debian package: /usr/bin/traverse and its manual page (src/app), and
  # in /usr/share/doc/traverse the README, the changelog (both gzip -9 -n, as
  # Debian policy wants documentation over 4 kB) and the copyright in the
  # machine-readable format, its licence text taken from LICENSE.
  set(TRAVERSE_PACKAGE_MAINTAINER "The traverse developers <traverse@example.org>"
      CACHE STRING "Maintainer field of the Debian package and its changelog")

  file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)
  if(NOT licence MATCHES "Copyright \\(c\\) ([^\n]+)\n")
    message(FATAL_ERROR "LICENSE has no line \"Copyright (c) <year> <holder>\"")
  endif()
  set(holder "${CMAKE_MATCH_1}")
  string(FIND "${licence}" "Permission is hereby granted" start)
  string(SUBSTRING "${licence}" ${start} -1 terms)
  string(STRIP "${terms}" terms)
  string(REPLACE "\n\n" "\n.\n" terms "${terms}")
  string(REPLACE "\n" "\n " terms "${terms}")
  traverse_write_text(${traverse_package_files}/copyright
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: traverse

Files: *
Copyright: ${holder}
License: Expat
 ${terms}
")

  # A native package's changelog: one entry for the version being packaged,
  # dated now (or SOURCE_DATE_EPOCH, for a reproducible package).
  string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
  traverse_write_text(${traverse_package_files}/changelog
"traverse (${PROJECT_VERSION}) unstable; urgency=medium

  * traverse ${PROJECT_VERSION}; the README tells what it does.

 -- ${TRAVERSE_PACKAGE_MAINTAINER}  ${date}
")

  configure_file(${PROJECT_SOURCE_DIR}/README.md ${traverse_package_files}/README.md COPYONLY)
  find_program(TRAVERSE_GZIP gzip REQUIRED)
  set(compressed)
  foreach(name README.md changelog)
    set(file ${traverse_package_files}/${name})
    add_custom_command(OUTPUT ${file}.gz
      COMMAND ${TRAVERSE_GZIP} -9 -n -c ${file} > ${file}.gz
      DEPENDS ${file} VERBATIM)
    list(APPEND compressed ${file}.gz)
  endforeach()
  add_custom_target(traverse_package_docs ALL DEPENDS ${compressed})
  install(FILES ${compressed} ${traverse_package_files}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

  # With -D_FORTIFY_SOURCE=2 (the package preset) every copy and read of the
  # program goes through a pointer whose buffer size the compiler cannot see,
  # so none becomes a checked call; lintian reads that as a missing flag.
  set(overrides ${traverse_package_files}/lintian-overrides)
  traverse_write_text(${overrides}
"# Built with -D_FORTIFY_SOURCE=2; no call has a buffer size known when compiling.
traverse: hardening-no-fortify-functions [usr/bin/traverse]
")
  install(FILES ${overrides} DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides
          RENAME traverse)

  # As dh_strip does: no .comment and .note sections in the packaged program.
  set(strip_script ${traverse_package_files}/strip_sections.cmake)
  file(CONFIGURE OUTPUT ${strip_script} @ONLY CONTENT [[
file(GLOB programs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/@CMAKE_INSTALL_BINDIR@/*")
if(NOT programs)
  message(FATAL_ERROR "no program in ${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/@CMAKE_INSTALL_BINDIR@")
endif()
foreach(program IN LISTS programs)
  execute_process(COMMAND "@CMAKE_STRIP@" --remove-section=.comment --remove-section=.note
                          "${program}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()
]])
  set(CPACK_PRE_BUILD_SCRIPTS ${strip_script})

  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TRAVERSE_PACKAGE_MAINTAINER}")
  set(CPACK_DEBIAN_PACKAGE_SECTION science)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

include(CPack)
