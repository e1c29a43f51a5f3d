# CLI11 and nlohmann-json are header-only; Debian's libcli11-dev and
# nlohmann-json3-dev ship CMake package files for them, found here.
#
# Their imported targets point at /usr/include. A cross build must not see that
# folder: it holds the host's C library headers, which would shadow the target's.
# So a cross build copies just the package's own header folders into the build
# tree and points the imported target there. This is the only place that does.
function(dio_header_only_package name target debian_package)
  # The package files are the host's, outside the cross build's find root.
  find_package(${name} CONFIG QUIET NO_CMAKE_FIND_ROOT_PATH)
  if(NOT ${name}_FOUND)
    message(FATAL_ERROR "${name} not found (no ${name}Config.cmake): install ${debian_package}")
  endif()
  if(CMAKE_CROSSCOMPILING)
    set(vendor ${CMAKE_BINARY_DIR}/vendor/${name}/include)
    get_target_property(includes ${target} INTERFACE_INCLUDE_DIRECTORIES)
    foreach(folder ${ARGN})
      set(found "")
      foreach(include ${includes})
        if(NOT found AND IS_DIRECTORY ${include}/${folder})
          set(found ${include}/${folder})
        endif()
      endforeach()
      if(NOT found)
        message(FATAL_ERROR "${name}: no ${folder}/ in ${includes}: reinstall ${debian_package}")
      endif()
      file(COPY ${found} DESTINATION ${vendor})
    endforeach()
    set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${vendor})
  endif()
endfunction()

dio_header_only_package(CLI11 CLI11::CLI11 libcli11-dev CLI)
dio_header_only_package(nlohmann_json nlohmann_json::nlohmann_json nlohmann-json3-dev nlohmann)
