# What `cmake --install` puts where, and the packages CPack makes of it, named
# with the project's version:
# - Windows: zrk-VERSION-win64.zip, one folder with Unpack.exe, Repack.exe, a
#   README.txt for Windows users and LICENSE.txt (both CR LF) and the sample
#   archive in Sample\.
# - Linux: zrk_VERSION_ARCH.deb and zrk-VERSION-Linux.tar.gz, with unpack and
#   repack in bin/, their manual pages in share/man/man1/, and the README, the
#   licence as a Debian copyright file and the changelog in share/doc/zrk/,
#   with the texts the README links to (and their pictures) in its docs/.
# `cpack --preset default` or `cpack --preset windows` makes them after a build.

set(ZRK_PACKAGE_CONTACT "zrk developers <zrk-developers@example.org>"
    CACHE STRING "Maintainer of the packages, as `Name <address>`")

if(WIN32)
  install(TARGETS unpack repack RUNTIME DESTINATION .)
  configure_file(packaging/README.txt.in README.txt @ONLY NEWLINE_STYLE CRLF)
  configure_file(LICENSE LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${PROJECT_BINARY_DIR}/README.txt ${PROJECT_BINARY_DIR}/LICENSE.txt DESTINATION .)
  install(FILES examples/ZRK.DAT DESTINATION Sample)
else()
  include(GNUInstallDirs)
  install(TARGETS unpack repack RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

  # LICENSE as Debian's machine-readable copyright file: its copyright line,
  # and its text as the paragraph of the Expat licence (MIT's text), each line
  # indented by one space and an empty line written as " .".
  set(docs ${PROJECT_BINARY_DIR}/doc)
  file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)
  if(NOT licence MATCHES "Copyright \\(c\\) ([^\n]+)\n+(Permission .*[^\n])\n*$")
    message(FATAL_ERROR "LICENSE lacks its copyright line or the permission text after it")
  endif()
  set(ZRK_COPYRIGHT "${CMAKE_MATCH_1}")
  string(REPLACE "\n\n" "\n.\n" ZRK_LICENSE_TEXT "${CMAKE_MATCH_2}")
  string(REPLACE "\n" "\n " ZRK_LICENSE_TEXT " ${ZRK_LICENSE_TEXT}")
  configure_file(packaging/copyright.in ${docs}/copyright @ONLY)

  # Debian's tools read CHANGELOG, kept by hand in their format, as changelog.gz.
  # gzip -n leaves out the name and time, so the same text gives the same bytes.
  find_program(GZIP_PROGRAM gzip REQUIRED)
  add_custom_command(
    OUTPUT ${docs}/changelog.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/CHANGELOG ${docs}/changelog
    COMMAND ${GZIP_PROGRAM} -9nf ${docs}/changelog
    DEPENDS CHANGELOG
    VERBATIM)
  add_custom_target(changelog ALL DEPENDS ${docs}/changelog.gz)

  install(FILES README.md ${docs}/copyright ${docs}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DOCDIR})
  # Where the README's links to docs/ lead, also once installed.
  install(FILES docs/programs.md docs/rules.md docs/formats.md docs/developing.md
                docs/unpack-window.png docs/repack-window.png
          DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)

  # The manual pages unpack.1 and repack.1: help2man reads the built programs'
  # --help and --version, and packaging/PROGRAM.h2m and packaging/zrk.h2m add
  # the sections these lack. A page carries the date of the changelog's latest
  # entry, so the same sources give the same page.
  find_program(HELP2MAN help2man REQUIRED)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/CHANGELOG)
  file(STRINGS CHANGELOG trailer REGEX "^ -- " LIMIT_COUNT 1)
  if(NOT trailer MATCHES "^ -- .*>  (.+)$")
    message(FATAL_ERROR "CHANGELOG: the latest entry has no line ` -- NAME <ADDRESS>  DATE`")
  endif()
  execute_process(COMMAND date -d "${CMAKE_MATCH_1}" +%s OUTPUT_VARIABLE release_time
                  OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  foreach(program unpack repack)
    set(includes packaging/${program}.h2m packaging/zrk.h2m)
    list(TRANSFORM includes PREPEND --include=${PROJECT_SOURCE_DIR}/ OUTPUT_VARIABLE options)
    add_custom_command(
      OUTPUT ${docs}/${program}.1.gz
      COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${release_time}
              ${HELP2MAN} --no-info ${options} --output=${docs}/${program}.1
              "sh ${PROJECT_SOURCE_DIR}/packaging/help-for-man $<TARGET_FILE:${program}>"
      COMMAND ${GZIP_PROGRAM} -9nf ${docs}/${program}.1
      DEPENDS ${program} ${includes} packaging/help-for-man
      VERBATIM)
    list(APPEND pages ${docs}/${program}.1.gz)
  endforeach()
  add_custom_target(manual_pages ALL DEPENDS ${pages})
  install(FILES ${pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

set(CPACK_PACKAGE_NAME zrk)
set(CPACK_PACKAGE_VENDOR "zrk developers")
set(CPACK_PACKAGE_CONTACT "${ZRK_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "take the ZRK.DAT data archive apart and build it again")
# Lines of the long description, as Debian's tools show them.
set(CPACK_PACKAGE_DESCRIPTION
    "Two small command-line tools for one flat data archive format."
    "unpack takes the archive ZRK.DAT in the current folder apart: every entry"
    "becomes a file in the folder Output beside it, and Output/manifest.txt"
    "lists the entries in order. repack builds a new archive, ZRK.NEW, from"
    "that manifest and the files in Output, in the same layout. Entry bytes"
    "are copied exactly.")
list(JOIN CPACK_PACKAGE_DESCRIPTION "\n" CPACK_PACKAGE_DESCRIPTION)
set(CPACK_STRIP_FILES ON)
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  # CPack's own guess names every MinGW build win32.
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_SYSTEM_NAME win64)
  endif()
else()
  set(CPACK_GENERATOR DEB TGZ)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  # dpkg-shlibdeps finds the libraries' packages (libc6, libstdc++6, ...).
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

include(CPack)

# The README names the packages and the version they carry.
if(BUILD_TESTING)
  add_test(NAME readme_version
           COMMAND ${CMAKE_COMMAND} -DREADME=${PROJECT_SOURCE_DIR}/README.md
                   -DVERSION=${PROJECT_VERSION} -P ${PROJECT_SOURCE_DIR}/cmake/CheckReadmeVersion.cmake)
endif()
