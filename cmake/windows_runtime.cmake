# What the Windows panel needs beside it, as windeployqt would put it there:
# the Qt DLLs, the platform and style plugins in their folders, and the MinGW
# runtime DLLs Qt and the panel share. Installed with the panel, and copied
# into the build's bin/ so that the tests run from there.

# Sets out to the folder Qt is installed in (the one above its bin/).
function(dio_qt_prefix out)
  get_target_property(core_dll Qt${QT_VERSION_MAJOR}::Core IMPORTED_LOCATION_RELEASE)
  get_filename_component(prefix ${core_dll}/../.. ABSOLUTE)
  set(${out} ${prefix} PARENT_SCOPE)
endfunction()

# Installs the runtime beside the panel (in `destination`) and copies it into
# the build's bin/ before `target` is built.
function(dio_deploy_windows_runtime target destination)
  set(commands)
  macro(deploy file folder)
    install(FILES ${file} DESTINATION ${destination}/${folder})
    list(APPEND commands COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/bin/${folder}
         COMMAND ${CMAKE_COMMAND} -E copy_if_different ${file} ${CMAKE_BINARY_DIR}/bin/${folder})
  endmacro()

  foreach(module Core Gui Widgets)
    deploy($<TARGET_FILE:Qt${QT_VERSION_MAJOR}::${module}> .)
  endforeach()
  # The windows platform for the desktop, offscreen for the tests and the
  # installer's check, and the native style.
  dio_qt_prefix(qt_prefix)
  foreach(plugin platforms/qwindows platforms/qoffscreen styles/qwindowsvistastyle)
    get_filename_component(folder ${plugin} DIRECTORY)
    deploy(${qt_prefix}/plugins/${plugin}.dll ${folder})
  endforeach()
  if(MINGW)
    foreach(dll libgcc_s_dw2-1.dll libgcc_s_seh-1.dll libstdc++-6.dll libwinpthread-1.dll)
      execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                      OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
      if(IS_ABSOLUTE "${path}" AND EXISTS "${path}")
        get_filename_component(path ${path} REALPATH)
        deploy(${path} .)
      endif()
    endforeach()
  endif()
  add_custom_target(windows_runtime ${commands} VERBATIM)
  add_dependencies(${target} windows_runtime)
endfunction()
