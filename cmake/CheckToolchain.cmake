# The MinGW compilers the product's runtime clean-up has been checked
# against. The library replaces or cleans up parts of the static GCC runtime
# (its emulated thread storage, the semaphores of the win32 thread model, the
# exception emergency pool): that code knows GCC 12's layouts and
# primitives. GCC 13's win32 model moves to SRW locks and condition
# variables, which 32-bit Windows XP does not have; the posix model's
# winpthread imports GetTickCount64. Another compiler must be checked before
# it builds the product, so configuring with one fails here.
#
# In a configure run: ykt_check_toolchain(<compiler>) reads the version and
# the thread model from the compiler. As a script, for the checker's own
# test: cmake -DYKT_GCC_VERSION=13.1.0 -DYKT_THREAD_MODEL=win32 -P CheckToolchain.cmake
set(YKT_CHECKED_GCC_MAJOR 12)
set(YKT_CHECKED_THREAD_MODEL win32)

function(ykt_check_toolchain_values version thread_model)
  string(REGEX MATCH "^[0-9]+" major "${version}")
  if(NOT major STREQUAL YKT_CHECKED_GCC_MAJOR OR NOT thread_model STREQUAL YKT_CHECKED_THREAD_MODEL)
    message(FATAL_ERROR
      "MinGW GCC ${version} with the '${thread_model}' thread model: the library's runtime clean-up "
      "(src/api/ThreadStorage.cpp, RuntimeHandles.cpp, the emergency pool in DllMain.cpp) is checked "
      "against GCC ${YKT_CHECKED_GCC_MAJOR}.x with the '${YKT_CHECKED_THREAD_MODEL}' thread model only. "
      "Use the *-g++-${YKT_CHECKED_THREAD_MODEL} compilers of Debian 12, or check that code against this "
      "compiler and change YKT_CHECKED_GCC_MAJOR in cmake/CheckToolchain.cmake.")
  endif()
endfunction()

function(ykt_check_toolchain compiler)
  execute_process(COMMAND ${compiler} -dumpfullversion OUTPUT_VARIABLE version OUTPUT_STRIP_TRAILING_WHITESPACE)
  execute_process(COMMAND ${compiler} -v ERROR_VARIABLE details OUTPUT_QUIET)
  string(REGEX MATCH "Thread model: ([a-z0-9]+)" found "${details}")
  ykt_check_toolchain_values("${version}" "${CMAKE_MATCH_1}")
endfunction()

if(CMAKE_SCRIPT_MODE_FILE AND DEFINED YKT_GCC_VERSION)
  ykt_check_toolchain_values("${YKT_GCC_VERSION}" "${YKT_THREAD_MODEL}")
endif()
