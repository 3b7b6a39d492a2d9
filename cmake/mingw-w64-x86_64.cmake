# Cross-compiles the same sources for 64-bit Windows with mingw-w64.  The
# product is the 32-bit library; this build exists for machines that cannot
# run 32-bit programs at all, where its Wine tests stand in for the 32-bit
# ones (scripts/lib/wine.sh: wine_runs_32bit).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QF_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
