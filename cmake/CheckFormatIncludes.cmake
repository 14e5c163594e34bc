# Fails when a file under format/ includes anything but the C++ standard
# library and format's own headers: the archive format stays free of the
# operating system and of the platform layer.
file(GLOB sources ${SOURCE_DIR}/format/*.cpp ${SOURCE_DIR}/format/*.h)
foreach(source IN LISTS sources)
  file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include")
  foreach(line IN LISTS includes)
    if(line MATCHES "<([^>]+)>")
      set(header ${CMAKE_MATCH_1})
      # Standard headers have plain names: no ".h", no folder.
      if(NOT header MATCHES "^[a-z_]+$")
        message(SEND_ERROR "${source} includes the system header <${header}>")
      endif()
    elseif(line MATCHES "\"([^\"]+)\"")
      if(NOT EXISTS ${SOURCE_DIR}/format/${CMAKE_MATCH_1})
        message(SEND_ERROR "${source} includes \"${CMAKE_MATCH_1}\", which is not in format/")
      endif()
    endif()
  endforeach()
endforeach()
