# The panel and dio-cli in bin/, the simulated driver in lib/dio-panel/ (found
# through their RUNPATH, relative to the programs themselves), the desktop
# entry, its icon, dio-cli's manual page, and the licence as Debian's copyright
# file.
include(GNUInstallDirs)

set(DIO_DRIVER_DIR ${CMAKE_INSTALL_LIBDIR}/dio-panel)
file(RELATIVE_PATH driver_from_bin /${CMAKE_INSTALL_BINDIR} /${DIO_DRIVER_DIR})
# Built with it too: a build-tree RUNPATH padded for the install-time one would
# be empty entries, which the loader reads as the current folder.
set_target_properties(dio-panel dio-cli PROPERTIES INSTALL_RPATH "$ORIGIN/${driver_from_bin}"
                                                   BUILD_WITH_INSTALL_RPATH ON)

install(TARGETS dio-panel dio-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS simcard LIBRARY DESTINATION ${DIO_DRIVER_DIR})
install(FILES dio-panel.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES dio-panel.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# The manual page, compressed as Debian keeps them.
set(manual ${CMAKE_CURRENT_BINARY_DIR}/dio-cli.1.gz)
add_custom_command(OUTPUT ${manual}
  COMMAND sh -c "gzip -9nc '${CMAKE_CURRENT_SOURCE_DIR}/dio-cli.1' > '${manual}'"
  DEPENDS dio-cli.1 VERBATIM)
add_custom_target(manual ALL DEPENDS ${manual})
install(FILES ${manual} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/dio-panel
        RENAME copyright)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
if(QT_VERSION_MAJOR EQUAL 5)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt5widgets5 (>= 5.15), libqt5gui5 (>= 5.15), libqt5core5a (>= 5.15)")
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6widgets6 (>= 6.2), libqt6gui6 (>= 6.2), libqt6core6 (>= 6.2)")
endif()
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk")
