# The panel, the station's window and dio-cli in bin/, the simulated driver in lib/dio-panel/ (found
# through their RUNPATH, relative to the programs themselves), the desktop
# entry, its icon, the manual pages, and the licence and changelog as Debian
# keeps them.
include(GNUInstallDirs)

set(DIO_DRIVER_DIR ${CMAKE_INSTALL_LIBDIR}/dio-panel)
file(RELATIVE_PATH driver_from_bin /${CMAKE_INSTALL_BINDIR} /${DIO_DRIVER_DIR})
# Built with it too: a build-tree RUNPATH padded for the install-time one would
# be empty entries, which the loader reads as the current folder.
set_target_properties(dio-panel dio-station dio-cli PROPERTIES
                      INSTALL_RPATH "$ORIGIN/${driver_from_bin}" BUILD_WITH_INSTALL_RPATH ON)

install(TARGETS dio-panel dio-station dio-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS simcard LIBRARY DESTINATION ${DIO_DRIVER_DIR})
# The Modbus TCP driver in a folder of its own: used only when put beside a
# program or named in LD_LIBRARY_PATH.
install(TARGETS modbuscard LIBRARY DESTINATION ${DIO_DRIVER_DIR}/modbus)
# So are the drivers on a comedi board and on GPIO lines (Linux's own interfaces).
install(TARGETS comedicard LIBRARY DESTINATION ${DIO_DRIVER_DIR}/comedi)
install(TARGETS gpiocard LIBRARY DESTINATION ${DIO_DRIVER_DIR}/gpio)
# The collector's service, installed, not enabled.
install(FILES dio-collect.service DESTINATION /lib/systemd/system)
install(FILES dio-panel.desktop dio-station.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES dio-panel.svg dio-station.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# Compressed as Debian keeps them: gzip -9, without a name or time stamp.
set(docs ${CMAKE_INSTALL_DATADIR}/doc/dio-panel)
configure_file(changelog.in ${CMAKE_CURRENT_BINARY_DIR}/changelog @ONLY)
set(compressed "")
foreach(file ${CMAKE_CURRENT_SOURCE_DIR}/dio-panel.1 ${CMAKE_CURRENT_SOURCE_DIR}/dio-cli.1
             ${CMAKE_CURRENT_SOURCE_DIR}/dio-station.1
             ${CMAKE_CURRENT_BINARY_DIR}/changelog)
  get_filename_component(name ${file} NAME)
  set(gz ${CMAKE_CURRENT_BINARY_DIR}/${name}.gz)
  add_custom_command(OUTPUT ${gz} COMMAND sh -c "gzip -9nc '${file}' > '${gz}'" DEPENDS ${file} VERBATIM)
  list(APPEND compressed ${gz})
endforeach()
add_custom_target(compressed_docs ALL DEPENDS ${compressed})
list(POP_BACK compressed changelog)
install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${changelog} DESTINATION ${docs})
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${docs} RENAME copyright)
install(FILES lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME dio-panel)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
# Shipped stripped: the debug information stays in the build.
set(CPACK_STRIP_FILES ON)
# The libraries the programs link, with their versions, as dpkg-shlibdeps
# finds them; beside them, what only Qt loads: Qt 6's window-system plugins
# are a package of their own (Qt 5 ships them with its GUI library).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(QT_VERSION_MAJOR EQUAL 6)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
endif()
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk")
