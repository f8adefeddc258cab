# Module-definition files and import libraries for the DLLs we export from
# and import from. An entry is "name:argbytes[:ordinal]"; on i686 the
# __stdcall symbol is name@argbytes, and --kill-at / dlltool -k leave the
# exported or imported name undecorated.

function(ykt_write_def out library)
  set(text "LIBRARY ${library}\nEXPORTS\n")
  foreach(entry IN LISTS ARGN)
    string(REPLACE ":" ";" parts "${entry}")
    list(LENGTH parts count)
    list(GET parts 0 line)
    list(GET parts 1 bytes)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      string(APPEND line "@${bytes}")
    endif()
    if(count GREATER 2)
      list(GET parts 2 ordinal)
      string(APPEND line " @${ordinal}")
    endif()
    string(APPEND text "    ${line}\n")
  endforeach()
  file(WRITE ${out} "${text}")
endfunction()

# The export table of the public header, VB_YKT_EXPORT_TABLE, as entries
# "name:argbytes:ordinal" in ordinal order.
function(ykt_read_export_table header out_var)
  file(READ ${header} content)
  string(REGEX MATCHALL "X\\([0-9]+, *[A-Za-z_]+, *[0-9]+\\)" rows "${content}")
  set(entries)
  foreach(row IN LISTS rows)
    string(REGEX MATCH "X\\(([0-9]+), *([A-Za-z_]+), *([0-9]+)\\)" found "${row}")
    list(APPEND entries "${CMAKE_MATCH_2}:${CMAKE_MATCH_3}:${CMAKE_MATCH_1}")
  endforeach()
  file(STRINGS ${header} declared REGEX "^#define VB_YKT_EXPORT_COUNT ")
  string(REGEX MATCH "[0-9]+$" declared "${declared}")
  list(LENGTH entries count)
  if(NOT count EQUAL declared)
    message(FATAL_ERROR "${header}: ${count} rows in VB_YKT_EXPORT_TABLE, VB_YKT_EXPORT_COUNT is ${declared}")
  endif()
  set(${out_var} ${entries} PARENT_SCOPE)
endfunction()

# An INTERFACE target carrying the import library of a DLL we do not build.
function(ykt_import_library target dll)
  set(def ${CMAKE_CURRENT_BINARY_DIR}/${target}.def)
  set(lib ${CMAKE_CURRENT_BINARY_DIR}/lib${target}.a)
  ykt_write_def(${def} ${dll} ${ARGN})
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(kill_at -k)
  endif()
  add_custom_command(OUTPUT ${lib}
    COMMAND ${CMAKE_DLLTOOL} -d ${def} -D ${dll} -l ${lib} ${kill_at}
    DEPENDS ${def} VERBATIM)
  add_custom_target(${target}_implib DEPENDS ${lib})
  add_library(${target} INTERFACE)
  add_dependencies(${target} ${target}_implib)
  target_link_libraries(${target} INTERFACE ${lib})
endfunction()

# The functions of the reader library and the card-state service, with their
# argument sizes: shared by the product's imports and the doubles' exports.
set(YKT_IRDLL_FUNCTIONS WT_init:16 WT_exit:0 ReadCardNoBeep:16 ReadCardBeep:16 Decrease:8)
set(YKT_BCIDLL_FUNCTIONS GetCardState:40)

# A Windows test program run under wine64 (the x86_64 build only: the i686
# programs run in the emulated guest instead). The programs share the wine
# prefix's registry, so ctest -j never runs two of them at once.
#   ykt_wine_test(NAME name TIMEOUT seconds [COMMAND command...])
function(ykt_wine_test)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "NAME;TIMEOUT" "COMMAND")
  if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
    return()
  endif()
  if(NOT arg_COMMAND)
    set(arg_COMMAND ${arg_NAME})
  endif()
  add_test(NAME ${arg_NAME} COMMAND ${arg_COMMAND})
  set_tests_properties(${arg_NAME} PROPERTIES TIMEOUT ${arg_TIMEOUT} RESOURCE_LOCK wine_registry)
endfunction()
