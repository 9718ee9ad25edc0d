# The part of the two toolchain files that is the same for both: Debian's
# mingw-w64 tools named by their triple (DISCORA_MINGW_TRIPLE) and the
# find-root rules for its libraries and headers.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${DISCORA_MINGW_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${DISCORA_MINGW_TRIPLE}-g++)
set(CMAKE_RC_COMPILER ${DISCORA_MINGW_TRIPLE}-windres)
# The archiver and index of the compiler, which read link-time-optimised
# objects.
set(CMAKE_AR ${DISCORA_MINGW_TRIPLE}-gcc-ar)
set(CMAKE_RANLIB ${DISCORA_MINGW_TRIPLE}-gcc-ranlib)

set(CMAKE_FIND_ROOT_PATH /usr/${DISCORA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
