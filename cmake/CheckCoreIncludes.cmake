# cmake -DQDX_SOURCE_DIR=<tree> -P CheckCoreIncludes.cmake
# Fails when a file of the core (update/, device/) includes anything from ui/:
# the window side depends on the core, never the other way round.
if(NOT QDX_SOURCE_DIR)
  message(FATAL_ERROR "QDX_SOURCE_DIR is not set")
endif()
file(GLOB_RECURSE files
  ${QDX_SOURCE_DIR}/update/*.h ${QDX_SOURCE_DIR}/update/*.cpp
  ${QDX_SOURCE_DIR}/device/*.h ${QDX_SOURCE_DIR}/device/*.cpp)
set(bad "")
foreach(file IN LISTS files)
  file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]ui/")
  foreach(line IN LISTS lines)
    file(RELATIVE_PATH rel ${QDX_SOURCE_DIR} ${file})
    string(APPEND bad "  ${rel}: ${line}\n")
  endforeach()
endforeach()
list(LENGTH files count)
if(count EQUAL 0)
  message(FATAL_ERROR "no core files found under ${QDX_SOURCE_DIR}")
endif()
if(bad)
  message(FATAL_ERROR "the core includes the window side:\n${bad}")
endif()
message("core includes checked: ${count} files")
