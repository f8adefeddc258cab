# The win32 thread model: its runtime needs no winpthread, which imports
# functions that 32-bit Windows XP lacks (GetTickCount64) and keeps handles
# open after FreeLibrary. Nothing in the product or the tests uses
# std::thread or std::mutex; GoogleTest runs on Win32 primitives.
set(CMAKE_C_COMPILER ${YKT_TRIPLE}-gcc-win32)
set(CMAKE_CXX_COMPILER ${YKT_TRIPLE}-g++-win32)
set(CMAKE_RC_COMPILER ${YKT_TRIPLE}-windres)
set(CMAKE_DLLTOOL ${YKT_TRIPLE}-dlltool)
set(CMAKE_FIND_ROOT_PATH /usr/${YKT_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Every module carries its C and C++ runtime: nothing but Windows DLLs (and,
# for the product, the two vendor libraries) is imported.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# MinGW's own printf family is large and unused: msvcrt's serves.
add_compile_definitions(__USE_MINGW_ANSI_STDIO=0)
