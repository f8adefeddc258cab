# The posix thread model: GoogleTest and the test programs need std::mutex and
# std::thread. Its winpthread is linked statically like the rest of the runtime.
set(CMAKE_C_COMPILER ${YKT_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${YKT_TRIPLE}-g++-posix)
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
