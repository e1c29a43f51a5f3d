# Everything in one folder, as windeployqt lays it out: dio-panel.exe,
# dio-station.exe and dio-cli.exe (which stands alone), the simulated
# adcard.dll beside them (where the card's own driver goes), Qt and the MinGW
# runtime, the licences. The installer adds Start-menu entries
# "测试及编程源程序" (the panel) and "测试台" (the station) and an uninstaller.
include(${PROJECT_SOURCE_DIR}/cmake/windows_runtime.cmake)

install(TARGETS dio-panel dio-station dio-cli RUNTIME DESTINATION .)
install(TARGETS simcard RUNTIME DESTINATION .)
install(TARGETS modbuscard RUNTIME DESTINATION modbus) # the Modbus TCP driver, to put in its place
dio_deploy_windows_runtime(dio-panel .)
add_dependencies(dio-station windows_runtime)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .)
install(FILES README-windows.txt DESTINATION . RENAME README.txt)

# Qt's DLLs come with their licence and where their source is from
# (scripts/build-qt-win32.sh puts both beside the Qt it builds).
dio_qt_prefix(qt_prefix)
if(EXISTS ${qt_prefix}/LICENSE.LGPL3 AND EXISTS ${qt_prefix}/SOURCE)
  install(FILES ${qt_prefix}/LICENSE.LGPL3 DESTINATION licenses RENAME Qt-LGPL-3.0.txt)
  install(FILES ${qt_prefix}/SOURCE DESTINATION licenses RENAME Qt-source.txt)
else()
  message(WARNING "No LICENSE.LGPL3 and SOURCE in ${qt_prefix}: add Qt's licence and the "
                  "whereabouts of its source to what you ship with its DLLs")
endif()

# So do the libraries built into dio-cli.exe (each build script leaves its
# licence and SOURCE beside the library).
function(dio_library_notice name prefix)
  foreach(file SOURCE ${ARGN})
    if(EXISTS ${prefix}/${file})
      install(FILES ${prefix}/${file} DESTINATION licenses RENAME ${name}-${file}.txt)
    endif()
  endforeach()
endfunction()
dio_library_notice(libmodbus "${DIO_WINDOWS_MODBUS}" LICENSE.LGPL)
dio_library_notice(libmosquitto "${DIO_WINDOWS_MQTT}" LICENSE.txt epl-v20 edl-v10)
dio_library_notice(SQLite "${DIO_WINDOWS_SQLITE}" LICENSE.md)

set(CPACK_GENERATOR NSIS)
set(CPACK_PACKAGE_FILE_NAME dio-panel-${PROJECT_VERSION}-win32)
set(CPACK_PACKAGE_INSTALL_DIRECTORY dio-panel)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY dio-panel)
set(CPACK_NSIS_PACKAGE_NAME "dio-panel ${PROJECT_VERSION}")
set(CPACK_NSIS_DISPLAY_NAME "dio-panel")
# Chinese names in the Start menu need a Unicode installer.
set(CPACK_NSIS_DEFINES "Unicode true")
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_PACKAGE_EXECUTABLES dio-panel "测试及编程源程序" dio-station "测试台")
set(CPACK_NSIS_INSTALLED_ICON_NAME dio-panel.exe)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
