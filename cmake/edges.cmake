# layer_library(NAME SOURCES ... POSIX ... WINDOWS ... LINKS ...): a folder's
# library, and beside it a program that links all of it (whole) with nothing
# but what LINKS names: a call into a folder it does not name fails that link,
# so the build says when a folder crosses its edges.
function(layer_library name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SOURCES;POSIX;WINDOWS;LINKS")
  if(WIN32)
    set(platform ${arg_WINDOWS})
  else()
    set(platform ${arg_POSIX})
  endif()
  add_library(${name} STATIC ${arg_SOURCES} ${platform})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${arg_LINKS})
  add_executable(${name}_edges ${PROJECT_SOURCE_DIR}/cmake/edges_check.cpp)
  target_link_libraries(${name}_edges PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${name}>")
  set_target_properties(${name}_edges PROPERTIES RUNTIME_OUTPUT_DIRECTORY
                                                 ${CMAKE_CURRENT_BINARY_DIR})
endfunction()
