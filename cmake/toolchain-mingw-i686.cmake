# Cross-compiles the 32-bit Windows (x86) program with Debian's mingw-w64 i686 tools.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(DISCORA_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)

find_program(WINE_PROGRAM wine)
if(WINE_PROGRAM)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_PROGRAM})
endif()
