# What `cmake --install` puts where, and the packages CPack makes of it, named
# with the project's version:
# - Windows: zrk-VERSION-win64.zip, one folder with Unpack.exe, Repack.exe, a
#   README.txt for Windows users (CR LF) and the sample archive in Sample\.
# - Linux: zrk_VERSION_ARCH.deb and zrk-VERSION-Linux.tar.gz, with unpack and
#   repack in bin/ and the README in share/doc/zrk/.
# `cpack --preset default` or `cpack --preset windows` makes them after a build.

set(ZRK_PACKAGE_CONTACT "ZRK developers <zrk-developers@example.org>"
    CACHE STRING "Maintainer of the packages, as `Name <address>`")

if(WIN32)
  install(TARGETS unpack repack RUNTIME DESTINATION .)
  configure_file(packaging/README.txt.in README.txt @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${PROJECT_BINARY_DIR}/README.txt DESTINATION .)
  install(FILES examples/ZRK.DAT DESTINATION Sample)
else()
  include(GNUInstallDirs)
  install(TARGETS unpack repack RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

set(CPACK_PACKAGE_NAME zrk)
set(CPACK_PACKAGE_VENDOR "ZRK developers")
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
