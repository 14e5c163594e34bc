# Cross build for 64-bit Windows with Debian's mingw-w64 compilers.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZRK_MINGW_TRIPLE x86_64-w64-mingw32)
# The POSIX thread model: with the win32 one, GCC 12 has no std::mutex, which
# GoogleTest needs. The programs themselves use one thread.
set(CMAKE_C_COMPILER ${ZRK_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZRK_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ZRK_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZRK_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
