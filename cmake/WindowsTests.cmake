# The Windows build's tests: GoogleTest built from source with the cross
# compiler, and, when cross-built, every test program run under Wine in a
# session (display and prefix) that a CTest fixture starts and stops.

set(ZRK_GOOGLETEST_SOURCE /usr/src/googletest
    CACHE PATH "GoogleTest sources to build with the Windows compiler")
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${ZRK_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

if(NOT CMAKE_CROSSCOMPILING)
  return()
endif()

find_program(ZRK_WINE wine REQUIRED)
find_program(ZRK_XVFB Xvfb REQUIRED)
set(ZRK_WINE_STATE ${CMAKE_BINARY_DIR}/wine)
set(ZRK_WINE_RUN ${PROJECT_SOURCE_DIR}/cmake/wine-test-run ${ZRK_WINE_STATE})

add_test(NAME wine_session_start
         COMMAND ${PROJECT_SOURCE_DIR}/cmake/wine-session start ${ZRK_WINE_STATE})
set_tests_properties(wine_session_start PROPERTIES FIXTURES_SETUP wine TIMEOUT 240)
add_test(NAME wine_session_stop
         COMMAND ${PROJECT_SOURCE_DIR}/cmake/wine-session stop ${ZRK_WINE_STATE})
set_tests_properties(wine_session_stop PROPERTIES FIXTURES_CLEANUP wine)

# Wine runs the whole test program as one test. Its cases cannot be listed
# while building (there is no Wine session then), and reading them from the
# sources misses the names of parameterized cases, which exist only at run
# time; GoogleTest's own report names every case that fails.
function(zrk_add_wine_gtests target)
  set_target_properties(${target} PROPERTIES CROSSCOMPILING_EMULATOR "${ZRK_WINE_RUN}")
  add_test(NAME ${target} COMMAND ${target})
  set_tests_properties(${target} PROPERTIES FIXTURES_REQUIRED wine)
endfunction()
