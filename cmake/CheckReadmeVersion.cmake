# Fails when README.md names another version than the project's: in package
# names (zrk-1.00-win64.zip, zrk_1.00_amd64.deb), "version 1.00" and "unpack 1.00".
file(READ ${README} text)
string(REGEX MATCHALL "zrk[-_][0-9]+\\.[0-9]+|([Vv]ersion|unpack|repack)[ \n]+[0-9]+\\.[0-9]+"
       mentions "${text}")
if(NOT mentions)
  message(FATAL_ERROR "${README} names no version")
endif()
foreach(mention IN LISTS mentions)
  string(REGEX REPLACE ".*[-_ \n]" "" named "${mention}")
  if(NOT named STREQUAL "${VERSION}")
    message(FATAL_ERROR "${README} says `${mention}`, but the project's version is ${VERSION}")
  endif()
endforeach()
