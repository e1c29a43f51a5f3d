# What the Windows panel needs beside it, as windeployqt would put it there:
# the Qt DLLs, the platform and style plugins in their folders, and the MinGW
# runtime DLLs Qt and the panel share. Installed with the panel, and copied
# into the build's bin/ so that the tests run from there.

# Sets out to a list of "file|subfolder" pairs.
function(dio_windows_runtime out)
  set(files)
  foreach(module Core Gui Widgets)
    list(APPEND files "$<TARGET_FILE:Qt${QT_VERSION_MAJOR}::${module}>|.")
  endforeach()
  get_target_property(core_dll Qt${QT_VERSION_MAJOR}::Core IMPORTED_LOCATION_RELEASE)
  get_filename_component(qt_prefix ${core_dll} DIRECTORY)
  get_filename_component(qt_prefix ${qt_prefix} DIRECTORY)
  # The windows platform for the desktop, offscreen for the tests and the
  # installer's check, and the native style.
  foreach(plugin platforms/qwindows platforms/qoffscreen styles/qwindowsvistastyle)
    get_filename_component(folder ${plugin} DIRECTORY)
    list(APPEND files "${qt_prefix}/plugins/${plugin}.dll|${folder}")
  endforeach()
  if(MINGW)
    foreach(dll libgcc_s_dw2-1.dll libgcc_s_seh-1.dll libstdc++-6.dll libwinpthread-1.dll)
      execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                      OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
      if(IS_ABSOLUTE "${path}" AND EXISTS "${path}")
        get_filename_component(path ${path} REALPATH)
        list(APPEND files "${path}|.")
      endif()
    endforeach()
  endif()
  set(${out} ${files} PARENT_SCOPE)
endfunction()

# Installs the runtime beside the panel (in `destination`) and copies it into
# the build's bin/ before `target` is built.
function(dio_deploy_windows_runtime target destination)
  dio_windows_runtime(files)
  set(commands)
  foreach(entry ${files})
    string(REPLACE "|" ";" parts ${entry})
    list(GET parts 0 file)
    list(GET parts 1 folder)
    install(FILES ${file} DESTINATION ${destination}/${folder})
    list(APPEND commands COMMAND ${CMAKE_COMMAND} -E make_directory
         ${CMAKE_BINARY_DIR}/bin/${folder} COMMAND ${CMAKE_COMMAND} -E copy_if_different ${file}
         ${CMAKE_BINARY_DIR}/bin/${folder})
  endforeach()
  add_custom_target(windows_runtime ${commands} VERBATIM)
  add_dependencies(${target} windows_runtime)
endfunction()
