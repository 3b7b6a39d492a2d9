# What both mingw-w64 toolchain files share: cross-compiles for Windows with
# the compilers of QF_MINGW_TRIPLE (posix threads, which GoogleTest needs for
# std::mutex).  Programs run under Wine (cmake/wine-run).
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${QF_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QF_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QF_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QF_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run)
