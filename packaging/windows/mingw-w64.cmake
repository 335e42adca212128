# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (posix threads,
# which std::thread and Qt need).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(OMBRA_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${OMBRA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${OMBRA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${OMBRA_MINGW_TRIPLE}-windres)

# Libraries and headers come from the mingw sysroot (and the Qt prefix added
# through CMAKE_PREFIX_PATH); programs always from the build machine.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${OMBRA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
