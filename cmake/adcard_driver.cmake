# A driver library: what the card's real driver is, and what this project
# builds in its place (the simulated card, the test fakes). On 32-bit Windows
# its exports are made from the one list of entry points in
# driver/adcard_abi.h: standard call, under the decorated names the real driver
# has ("_IOCtl@16"). Only a module-definition file can give them those names;
# elsewhere the code exports the plain names itself.
set(ADCARD_ABI_HEADER ${CMAKE_CURRENT_LIST_DIR}/../driver/adcard_abi.h)

# The entry points as "name;bytes;name;bytes;..."; with OWN, those of this
# project's own drivers (the "Y" list) instead.
function(adcard_entry_points out)
  set(letter X)
  if(ARGV1 STREQUAL "OWN")
    set(letter Y)
  endif()
  # Read whole: the list's lines end in backslashes, which CMake's lists would
  # take as escapes.
  file(READ ${ADCARD_ABI_HEADER} header)
  string(REGEX MATCHALL "\n *${letter}\\([A-Za-z_]+, *[0-9]+\\)" lines "${header}")
  set(entries)
  foreach(line ${lines})
    string(REGEX MATCH "${letter}\\(([A-Za-z_]+), *([0-9]+)\\)" _ "${line}")
    list(APPEND entries ${CMAKE_MATCH_1} ${CMAKE_MATCH_2})
  endforeach()
  set(${out} ${entries} PARENT_SCOPE)
endfunction()

# adcard_driver_library(target SOURCES files... [OWN] [OUTPUT_NAME name]
#                       [OUTPUT_DIRECTORY dir] [DEFINITIONS defs...] [WITHOUT entry points...])
# A shared library exporting the entry points, but those named after WITHOUT
# (the test fakes that lack one), and with OWN this project's own ones too
# (the simulated card). It stands alone, as the real driver does.
function(adcard_driver_library target)
  cmake_parse_arguments(ARG "OWN" "OUTPUT_NAME;OUTPUT_DIRECTORY" "SOURCES;DEFINITIONS;WITHOUT" ${ARGN})
  add_library(${target} SHARED ${ARG_SOURCES})
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_definitions(${target} PRIVATE ${ARG_DEFINITIONS})
  set_target_properties(${target} PROPERTIES CXX_VISIBILITY_PRESET hidden)
  if(ARG_OUTPUT_NAME)
    set_target_properties(${target} PROPERTIES OUTPUT_NAME ${ARG_OUTPUT_NAME})
  endif()
  if(ARG_OUTPUT_DIRECTORY)
    set_target_properties(${target} PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${ARG_OUTPUT_DIRECTORY}
                                               RUNTIME_OUTPUT_DIRECTORY ${ARG_OUTPUT_DIRECTORY})
  endif()
  if(WIN32)
    set_target_properties(${target} PROPERTIES PREFIX "")
    target_link_options(${target} PRIVATE ${DIO_STATIC_RUNTIME})
  endif()
  if(NOT WIN32 OR NOT CMAKE_SIZEOF_VOID_P EQUAL 4)
    return()
  endif()
  adcard_entry_points(entries)
  if(ARG_OWN)
    adcard_entry_points(own OWN)
    list(APPEND entries ${own})
  endif()
  set(text "EXPORTS\n")
  while(entries)
    list(POP_FRONT entries name bytes)
    if(NOT name IN_LIST ARG_WITHOUT)
      if(MSVC)
        string(APPEND text "  _${name}@${bytes}=_${name}@${bytes}\n")
      else()
        # MinGW's symbol for the function has no leading underscore here.
        string(APPEND text "  _${name}@${bytes} = ${name}@${bytes}\n")
      endif()
    endif()
  endwhile()
  set(def ${CMAKE_CURRENT_BINARY_DIR}/${target}.def)
  file(WRITE ${def} "${text}")
  target_sources(${target} PRIVATE ${def})
endfunction()
