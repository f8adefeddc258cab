set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(YKT_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
# The oldest tills: a P6-class CPU (Pentium Pro/II or later), no SSE. The
# compiler's default is the same today; written here, it stays so.
set(CMAKE_C_FLAGS_INIT "-march=i686 -mtune=generic -mno-mmx -mno-sse -mfpmath=387")
set(CMAKE_CXX_FLAGS_INIT "${CMAKE_C_FLAGS_INIT}")
