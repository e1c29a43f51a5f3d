# libmodbus, as the target `libmodbus`: Debian's libmodbus-dev here; for
# Windows the static library that scripts/build-libmodbus-win32.sh builds from
# Debian's source, where DIO_WINDOWS_MODBUS points (the toolchain files put it
# in the cross build's find root).
find_path(DIO_MODBUS_INCLUDE modbus/modbus.h)
find_library(DIO_MODBUS_LIBRARY NAMES modbus)
if(NOT DIO_MODBUS_INCLUDE OR NOT DIO_MODBUS_LIBRARY)
  if(CMAKE_CROSSCOMPILING)
    message(FATAL_ERROR "libmodbus for the target not found: build it with "
                        "scripts/build-libmodbus-win32.sh and set DIO_WINDOWS_MODBUS to its folder")
  endif()
  message(FATAL_ERROR "libmodbus not found: install libmodbus-dev")
endif()
add_library(libmodbus INTERFACE IMPORTED GLOBAL)
target_include_directories(libmodbus SYSTEM INTERFACE ${DIO_MODBUS_INCLUDE})
target_link_libraries(libmodbus INTERFACE ${DIO_MODBUS_LIBRARY})
if(WIN32)
  target_link_libraries(libmodbus INTERFACE ws2_32)
endif()
