# Checks that the rooms of src/ include only rooms below them:
#   platform < toolkit < buffers < script < color < the other families
#   (draw, geometry, filters, mask, ocv) < host
# A room may include itself.  The families other than color sit on one level
# and so may not include each other.  In the families only the bindings
# (the *_functions.cpp files) may include the script: kernels know nothing of
# Lua.  Every violation is listed, then the check fails.
#
#   cmake -DROOMS=<folder holding the rooms> -P check_include_order.cmake
cmake_minimum_required(VERSION 3.20)

if(NOT ROOMS OR NOT IS_DIRECTORY "${ROOMS}")
  message(FATAL_ERROR "ROOMS must name the folder that holds the rooms")
endif()

set(level_platform 0)
set(level_toolkit 1)
set(level_buffers 2)
set(level_script 3)
set(level_color 4)
set(level_draw 5)
set(level_geometry 5)
set(level_filters 5)
set(level_mask 5)
set(level_ocv 5)
set(level_host 6)

set(include_pattern "^[ \t]*#[ \t]*include[ \t]*\"([A-Za-z0-9_]+)/[^\"]*\"")
set(violations "")
set(checked 0)

file(GLOB rooms LIST_DIRECTORIES true RELATIVE "${ROOMS}" "${ROOMS}/*")
foreach(room IN LISTS rooms)
  if(NOT IS_DIRECTORY "${ROOMS}/${room}")
    continue()
  endif()
  if(NOT DEFINED level_${room})
    list(APPEND violations "${room}/ is not a known room")
    continue()
  endif()
  file(GLOB_RECURSE files RELATIVE "${ROOMS}" "${ROOMS}/${room}/*.h" "${ROOMS}/${room}/*.cpp")
  foreach(file IN LISTS files)
    math(EXPR checked "${checked} + 1")
    file(STRINGS "${ROOMS}/${file}" lines REGEX "${include_pattern}")
    foreach(line IN LISTS lines)
      string(REGEX MATCH "${include_pattern}" included "${line}")
      set(target "${CMAKE_MATCH_1}")
      if(target STREQUAL room OR NOT DEFINED level_${target})
        continue()  # the room's own headers, or a path outside the rooms
      endif()
      string(STRIP "${line}" line)
      if(NOT level_${target} LESS level_${room})
        list(APPEND violations "${file} includes ${target}/ (${line})")
      elseif(target STREQUAL "script" AND level_${room} GREATER level_script
             AND level_${room} LESS level_host
             AND NOT file MATCHES "_functions\\.cpp$")
        list(APPEND violations "${file} is a kernel but includes script/ (${line})")
      endif()
    endforeach()
  endforeach()
endforeach()

if(violations)
  list(JOIN violations "\n  " text)
  message(FATAL_ERROR "Include order broken:\n  ${text}")
endif()
message(STATUS "Include order kept in ${checked} files")
