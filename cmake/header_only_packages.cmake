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

# toml++ is header-only too, but Debian's package files name its shared
# library, which a cross build does not have: its headers are used alone,
# compiled by the one source that includes them (core/plan/plan_file.cpp).
find_path(DIO_TOMLPP_INCLUDE toml++/toml.h NO_CMAKE_FIND_ROOT_PATH)
if(NOT DIO_TOMLPP_INCLUDE)
  message(FATAL_ERROR "toml++ not found (no toml++/toml.h): install libtomlplusplus-dev")
endif()
add_library(dio_tomlplusplus INTERFACE)
add_library(dio::tomlplusplus ALIAS dio_tomlplusplus)
if(CMAKE_CROSSCOMPILING)
  set(vendor ${CMAKE_BINARY_DIR}/vendor/tomlplusplus/include)
  file(COPY ${DIO_TOMLPP_INCLUDE}/toml++ DESTINATION ${vendor})
  target_include_directories(dio_tomlplusplus SYSTEM INTERFACE ${vendor})
else()
  target_include_directories(dio_tomlplusplus SYSTEM INTERFACE ${DIO_TOMLPP_INCLUDE})
endif()
