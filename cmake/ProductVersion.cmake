# The product's version is the one in the library's own version resource.
# The console host and the simulators carry it too, and the packages are
# named after it, so it is read from there rather than written down again.
# Writes <build>/generated/YktVersion.h (YKT_VERSION 1,1,0,145 and
# YKT_VERSION_TEXT "1.1.0.145") and sets YKT_VERSION_TEXT in the caller.
function(ykt_product_version)
  get_target_property(sources Vb_Ykt SOURCES)
  get_target_property(dir Vb_Ykt SOURCE_DIR)
  list(FILTER sources INCLUDE REGEX "\\.rc$")
  list(LENGTH sources count)
  if(NOT count EQUAL 1)
    message(FATAL_ERROR "Vb_Ykt has ${count} resource scripts, expected one")
  endif()
  cmake_path(ABSOLUTE_PATH sources BASE_DIRECTORY ${dir} OUTPUT_VARIABLE rc)
  file(STRINGS ${rc} line REGEX "^[ \t]*FILEVERSION[ \t]")
  if(NOT line MATCHES "([0-9]+),[ \t]*([0-9]+),[ \t]*([0-9]+),[ \t]*([0-9]+)")
    message(FATAL_ERROR "no FILEVERSION in ${rc}")
  endif()
  set(YKT_VERSION "${CMAKE_MATCH_1},${CMAKE_MATCH_2},${CMAKE_MATCH_3},${CMAKE_MATCH_4}")
  set(text "${CMAKE_MATCH_1}.${CMAKE_MATCH_2}.${CMAKE_MATCH_3}.${CMAKE_MATCH_4}")
  file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/generated/YktVersion.h
    CONTENT "// Generated from the library's version resource.\n#define YKT_VERSION ${YKT_VERSION}\n#define YKT_VERSION_TEXT \"${text}\"\n")
  set(YKT_VERSION_TEXT ${text} PARENT_SCOPE)
endfunction()
