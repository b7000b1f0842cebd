# The 32-bit Windows build (included by CMakeLists.txt under the MinGW
# toolchain, cmake/mingw-i686.cmake; scripts/build-windows.sh runs it):
#   quorvel.auf  the plug-in, exporting GetFilterTable undecorated
#   quorvel.exe  the host program (Y4M and generated pictures; no FFmpeg)
#   and, for the Wine tests, auf_loader.exe and two stand-in OpenCV DLLs.
#
# QUORVEL_LUA_DIR holds Lua 5.1 for Windows: include/lua5.1/*.h and
# lib/liblua_delay.a, the delay-load import library of lua.dll.
# QUORVEL_HWY_DIR holds Highway for Windows: include/hwy/*.h and
# lib/libhwy.a (its run-time dispatch and allocator).
# QUORVEL_HOST_HEADERS holds header-only libraries taken from the build
# machine (CLI/ of CLI11).

set(QUORVEL_LUA_DIR "" CACHE PATH "Lua 5.1 built for Windows (scripts/build-windows.sh makes it)")
set(QUORVEL_HWY_DIR "" CACHE PATH "Highway built for Windows (scripts/build-windows.sh makes it)")
if(NOT EXISTS ${QUORVEL_HWY_DIR}/include/hwy/highway.h OR NOT EXISTS ${QUORVEL_HWY_DIR}/lib/libhwy.a)
  message(FATAL_ERROR "QUORVEL_HWY_DIR must name the Highway for Windows that scripts/build-windows.sh builds")
endif()
set(QUORVEL_HOST_HEADERS "" CACHE PATH "CLI11's headers for the host program")
if(NOT EXISTS ${QUORVEL_LUA_DIR}/include/lua5.1/lua.hpp OR NOT EXISTS ${QUORVEL_LUA_DIR}/lib/liblua_delay.a)
  message(FATAL_ERROR "QUORVEL_LUA_DIR must name the Lua for Windows that scripts/build-windows.sh builds")
endif()

# Doubles in SSE2 registers, as on x86-64, so that the arithmetic rounds as
# the Linux build's does (the x87 unit would keep 80-bit intermediates).
# The editor calls with a 4-byte-aligned stack: realign where SSE needs it.
add_compile_options(-msse2 -mfpmath=sse -mstackrealign)
# Lua's functions are declared without dllimport: the calls then go through
# the delay-load library's thunks, which bind lua.dll on the first call
# (dllimport would read the delay-load slots directly, before they are bound).
add_compile_definitions(NOMINMAX WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601)
# Only the runtime libraries of the system and lua.dll at run time.
set(QUORVEL_STATIC_RUNTIME -static -static-libgcc -static-libstdc++)

add_library(quorvel_lua INTERFACE)
target_include_directories(quorvel_lua SYSTEM INTERFACE ${QUORVEL_LUA_DIR}/include)
# Delay-loaded: lua.dll is bound on the first call into it, after start-up
# has put the plug-in's folder on PATH (an ordinary import would be looked
# for beside the editor's program before the plug-in runs at all).
target_link_libraries(quorvel_lua INTERFACE ${QUORVEL_LUA_DIR}/lib/liblua_delay.a)

add_library(quorvel_hwy INTERFACE)
target_include_directories(quorvel_hwy SYSTEM INTERFACE ${QUORVEL_HWY_DIR}/include)
target_link_libraries(quorvel_hwy INTERFACE ${QUORVEL_HWY_DIR}/lib/libhwy.a)

# The plug-in's sources, with the Windows files in place of the Linux ones.
file(GLOB_RECURSE QUORVEL_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/*.cpp)
set(QUORVEL_LINUX_ONLY
  host/load_entry.cpp ocv/opencv_calls.cpp platform/system.cpp platform/desktop_console.cpp
  platform/glyph_raster_freetype.cpp platform/font_faces.cpp
  platform/polyline_flattening.cpp platform/pen_stroke.cpp platform/coverage_raster.cpp
  platform/text_encoding.cpp)
foreach(file ${QUORVEL_LINUX_ONLY})
  list(REMOVE_ITEM QUORVEL_SOURCES ${PROJECT_SOURCE_DIR}/src/${file})
endforeach()
list(REMOVE_ITEM QUORVEL_SOURCES ${PROJECT_SOURCE_DIR}/src/host/load_entry_win32.cpp)

add_library(quorvel_objects OBJECT ${QUORVEL_SOURCES})
target_include_directories(quorvel_objects PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(quorvel_objects PUBLIC quorvel_lua quorvel_hwy gdi32 user32)

add_library(quorvel_plugin MODULE src/host/load_entry_win32.cpp)
target_link_libraries(quorvel_plugin PRIVATE quorvel_objects)
# --kill-at: GetFilterTable is __stdcall and is exported without its @0.
target_link_options(quorvel_plugin PRIVATE ${QUORVEL_STATIC_RUNTIME} -Wl,--kill-at -Wl,--no-undefined)
set_target_properties(quorvel_plugin PROPERTIES OUTPUT_NAME quorvel PREFIX "" SUFFIX ".auf"
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

# The host program, without FFmpeg: Y4M files and streams, generated pictures.
find_path(CLI11_INCLUDE_DIR CLI/CLI.hpp PATHS ${QUORVEL_HOST_HEADERS} NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(QUORVEL_REFERENCE_INC ${CMAKE_BINARY_DIR}/generated/function_reference.inc)
add_custom_command(OUTPUT ${QUORVEL_REFERENCE_INC}
  COMMAND ${CMAKE_COMMAND} -DINPUT=${PROJECT_SOURCE_DIR}/docs/functions.md -DOUTPUT=${QUORVEL_REFERENCE_INC}
          -P ${PROJECT_SOURCE_DIR}/cmake/embed_text.cmake
  DEPENDS ${PROJECT_SOURCE_DIR}/docs/functions.md ${PROJECT_SOURCE_DIR}/cmake/embed_text.cmake)
file(GLOB_RECURSE QUORVEL_CLI_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/cli/*.cpp)
# Nor the preview server (a web server and a JPEG encoder it would need
# built for Windows): preview_absent_win32.cpp says so.
foreach(file media/png.cpp host/host_os_posix.cpp host/plugin_worker_posix.cpp host/worker_main_posix.cpp)
  list(REMOVE_ITEM QUORVEL_CLI_SOURCES ${PROJECT_SOURCE_DIR}/cli/${file})
endforeach()
list(FILTER QUORVEL_CLI_SOURCES EXCLUDE REGEX "/cli/media/libav[^/]*\\.cpp$")
list(FILTER QUORVEL_CLI_SOURCES EXCLUDE REGEX "/cli/preview/")
list(APPEND QUORVEL_CLI_SOURCES ${PROJECT_SOURCE_DIR}/cli/preview/preview_absent_win32.cpp)
add_executable(quorvel ${QUORVEL_CLI_SOURCES} ${QUORVEL_REFERENCE_INC})
target_include_directories(quorvel PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/cli
  ${CMAKE_BINARY_DIR}/generated)
target_include_directories(quorvel SYSTEM PRIVATE ${CLI11_INCLUDE_DIR})
target_compile_definitions(quorvel PRIVATE QUORVEL_VERSION="0.1.0" QUORVEL_NO_LIBAV)
# Its pixel rows (media/pixel_rows.cpp) are Highway kernels of its own.
target_link_libraries(quorvel PRIVATE quorvel_hwy)
target_link_options(quorvel PRIVATE ${QUORVEL_STATIC_RUNTIME})
set_target_properties(quorvel PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
add_dependencies(quorvel quorvel_plugin)

if(QUORVEL_TESTS)
  add_subdirectory(${PROJECT_SOURCE_DIR}/tests/windows ${CMAKE_BINARY_DIR}/tests-windows)
endif()
