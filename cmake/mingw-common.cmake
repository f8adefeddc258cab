set(CMAKE_C_COMPILER ${YKT_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${YKT_TRIPLE}-g++)
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
