# Fails when a C++ source under the project's code folders differs from its
# clang-format form.
file(GLOB_RECURSE sources
     ${SOURCE_DIR}/format/*.cpp ${SOURCE_DIR}/format/*.h
     ${SOURCE_DIR}/platform/*.cpp ${SOURCE_DIR}/platform/*.h
     ${SOURCE_DIR}/shell/*.cpp ${SOURCE_DIR}/shell/*.h
     ${SOURCE_DIR}/unpack/*.cpp ${SOURCE_DIR}/unpack/*.h
     ${SOURCE_DIR}/repack/*.cpp ${SOURCE_DIR}/repack/*.h
     ${SOURCE_DIR}/tests/*.cpp ${SOURCE_DIR}/tests/*.h
     ${SOURCE_DIR}/fuzz/*.cpp ${SOURCE_DIR}/fuzz/*.h ${SOURCE_DIR}/bench/*.cpp)
execute_process(COMMAND ${CLANG_FORMAT} --dry-run --Werror ${sources} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "Sources differ from .clang-format; run clang-format -i on them.")
endif()
