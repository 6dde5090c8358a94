# Checks that the layers of src/ depend on each other one way:
#   app -> sdk/discovery -> sdk/scan -> sdk/controller -> sdk/transport
#       -> sdk/device, sdk/system, sdk/trace -> platform
# A file may include headers of its own folder and of any lower layer; the three folders
# of one level stand beside each other and include none of each other. Nothing in src/
# includes the simulated machine.
#
#   cmake -DSOURCE_DIR=<dir holding src/> -P check_layers.cmake
cmake_minimum_required(VERSION 3.25)
if(NOT SOURCE_DIR)
  message(FATAL_ERROR "usage: cmake -DSOURCE_DIR=<dir> -P check_layers.cmake")
endif()

set(rank_app 7)
set(rank_sdk/discovery 6)
set(rank_sdk/scan 5)
set(rank_sdk/controller 4)
set(rank_sdk/transport 3)
set(rank_sdk/device 2)
set(rank_sdk/system 2)
set(rank_sdk/trace 2)
set(rank_platform 1)

# The layer folder of a path below src/ ("sdk/scan/x.h" -> "sdk/scan", "app/x.h" -> "app").
function(layer_of path out)
  if(path MATCHES "^(sdk/[^/]+)/")
    set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
  elseif(path MATCHES "^([^/]+)/")
    set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
  else()
    set(${out} "" PARENT_SCOPE)
  endif()
endfunction()

file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}/src ${SOURCE_DIR}/src/*.h ${SOURCE_DIR}/src/*.cpp)
set(violations "")
set(checked 0)
foreach(source IN LISTS sources)
  layer_of("${source}" own)
  if(NOT DEFINED rank_${own})
    string(APPEND violations "\n  src/${source}: folder '${own}' is no known layer")
    continue()
  endif()
  file(STRINGS ${SOURCE_DIR}/src/${source} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "include[ \t]*[\"<]([^\">]+)[\">]")
      continue()
    endif()
    set(included "${CMAKE_MATCH_1}")
    math(EXPR checked "${checked} + 1")
    if(included MATCHES "^(sim|tests|tools)/" OR included MATCHES "^\\.\\./")
      string(APPEND violations "\n  src/${source}: includes ${included}, outside the program")
      continue()
    endif()
    layer_of("${included}" other)
    if(other STREQUAL "" OR NOT DEFINED rank_${other} OR other STREQUAL own)
      continue()  # a system header, or the file's own folder
    endif()
    if(NOT rank_${other} LESS rank_${own})
      string(APPEND violations "\n  src/${source} (${own}) includes ${included} (${other})")
    endif()
  endforeach()
endforeach()

if(violations)
  message(FATAL_ERROR "layer order broken:${violations}")
endif()
list(LENGTH sources files)
message(STATUS "layers: ${files} files, ${checked} includes, all one way")
