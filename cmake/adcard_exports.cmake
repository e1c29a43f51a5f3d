# The card driver's exports on 32-bit Windows, made from the one list of entry
# points in driver/adcard_abi.h: standard call, exported under the decorated
# names the real driver has ("_IOCtl@16"). Only a module-definition file can
# give them those names; elsewhere the plain names are exported by the code.
set(ADCARD_ABI_HEADER ${CMAKE_CURRENT_LIST_DIR}/../driver/adcard_abi.h)

# The entry points as "name;bytes;name;bytes;...".
function(adcard_entry_points out)
  # Read whole: the list's lines end in backslashes, which CMake's lists would
  # take as escapes.
  file(READ ${ADCARD_ABI_HEADER} header)
  string(REGEX MATCHALL "\n *X\\([A-Za-z_]+, *[0-9]+\\)" lines "${header}")
  set(entries)
  foreach(line ${lines})
    string(REGEX MATCH "X\\(([A-Za-z_]+), *([0-9]+)\\)" _ "${line}")
    list(APPEND entries ${CMAKE_MATCH_1} ${CMAKE_MATCH_2})
  endforeach()
  set(${out} ${entries} PARENT_SCOPE)
endfunction()

# Gives a driver library those exports, leaving out the entry points named
# after WITHOUT (the test fakes that lack one).
function(adcard_exports target)
  cmake_parse_arguments(ARG "" "" "WITHOUT" ${ARGN})
  if(NOT WIN32 OR NOT CMAKE_SIZEOF_VOID_P EQUAL 4)
    return()
  endif()
  adcard_entry_points(entries)
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
