# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 compilers.
# The -posix variants: the default thread model of GCC 12 has no
# std::thread or std::mutex, which the engine's workers and writers use.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_AR x86_64-w64-mingw32-ar CACHE FILEPATH "")
set(CMAKE_RANLIB x86_64-w64-mingw32-ranlib CACHE FILEPATH "")

# Libraries and headers come from the toolchain and from the prefix the
# libraries were cross-built into (VANTOREL_WINDOWS_PREFIX), never from the
# build machine's own /usr.
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 $ENV{VANTOREL_WINDOWS_PREFIX} ${VANTOREL_WINDOWS_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
