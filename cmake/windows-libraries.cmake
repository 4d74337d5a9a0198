# The Windows program's libraries, static, from the prefix scripts/windows
# cross-builds them into (VANTOREL_WINDOWS_PREFIX). They get the target names
# the Linux build's packages give, so that the targets read alike.
if(NOT VANTOREL_WINDOWS_PREFIX)
  set(VANTOREL_WINDOWS_PREFIX $ENV{VANTOREL_WINDOWS_PREFIX})
endif()
if(NOT EXISTS "${VANTOREL_WINDOWS_PREFIX}/include/SDL2/SDL.h")
  message(FATAL_ERROR "No cross-built libraries in VANTOREL_WINDOWS_PREFIX=\"${VANTOREL_WINDOWS_PREFIX}\": scripts/windows builds them")
endif()
set(windows_lib ${VANTOREL_WINDOWS_PREFIX}/lib)

add_library(ZLIB::ZLIB INTERFACE IMPORTED)
target_link_libraries(ZLIB::ZLIB INTERFACE ${windows_lib}/libz.a)
target_include_directories(ZLIB::ZLIB INTERFACE ${VANTOREL_WINDOWS_PREFIX}/include)

add_library(PNG::PNG INTERFACE IMPORTED)
target_link_libraries(PNG::PNG INTERFACE ${windows_lib}/libpng16.a ZLIB::ZLIB)

add_library(PkgConfig::MPG123 INTERFACE IMPORTED)
target_link_libraries(PkgConfig::MPG123 INTERFACE ${windows_lib}/libmpg123.a shlwapi)

# SDL2's static library and the Windows libraries it calls.
add_library(PkgConfig::SDL2 INTERFACE IMPORTED)
target_include_directories(PkgConfig::SDL2 INTERFACE ${VANTOREL_WINDOWS_PREFIX}/include/SDL2)
target_compile_definitions(PkgConfig::SDL2 INTERFACE SDL_MAIN_HANDLED)
target_link_libraries(PkgConfig::SDL2 INTERFACE ${windows_lib}/libSDL2.a
  m kernel32 user32 gdi32 winmm imm32 ole32 oleaut32 version uuid advapi32 setupapi shell32 dinput8)

add_library(OpenGL::GL INTERFACE IMPORTED)
target_link_libraries(OpenGL::GL INTERFACE opengl32)

# What the engine leaves out on Windows: object import (a release run takes
# its objects from the pack) and GLEW (SDL's GL loader finds the one entry).
set(VANTOREL_GL_LOADER "")
set(VANTOREL_IMPORTER "")
