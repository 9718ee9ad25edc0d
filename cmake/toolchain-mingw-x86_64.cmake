# Cross-compiles the 64-bit Windows (x64) program with Debian's mingw-w64 x86_64 tools.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(DISCORA_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)

# Debian puts the 64-bit loader beside Wine's libraries; the `wine` command
# picks the 32-bit one whenever 32-bit Wine is installed.
find_program(WINE64_PROGRAM wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(WINE64_PROGRAM)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE64_PROGRAM})
endif()
