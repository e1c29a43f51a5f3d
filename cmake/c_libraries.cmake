# The C libraries dio-cli uses, as imported targets: Debian's -dev packages
# here; for Windows the static libraries scripts/build-*-win32.sh build from
# Debian's source, where DIO_WINDOWS_MODBUS, DIO_WINDOWS_SQLITE and
# DIO_WINDOWS_MQTT point (the toolchain files put them in the find root).

# dio_c_library(TARGET HEADER PACKAGE SCRIPT VARIABLE NAMES...)
function(dio_c_library target header package script variable)
  find_path(DIO_${target}_INCLUDE ${header})
  find_library(DIO_${target}_LIBRARY NAMES ${ARGN})
  if(NOT DIO_${target}_INCLUDE OR NOT DIO_${target}_LIBRARY)
    if(CMAKE_CROSSCOMPILING)
      message(FATAL_ERROR "${target} for the target not found: build it with "
                          "scripts/${script} and set ${variable} to its folder")
    endif()
    message(FATAL_ERROR "${target} not found: install ${package}")
  endif()
  add_library(${target} INTERFACE IMPORTED GLOBAL)
  target_include_directories(${target} SYSTEM INTERFACE ${DIO_${target}_INCLUDE})
  target_link_libraries(${target} INTERFACE ${DIO_${target}_LIBRARY})
endfunction()

dio_c_library(libmodbus modbus/modbus.h libmodbus-dev build-libmodbus-win32.sh DIO_WINDOWS_MODBUS
              modbus)
dio_c_library(sqlite sqlite3.h libsqlite3-dev build-sqlite-win32.sh DIO_WINDOWS_SQLITE sqlite3)
dio_c_library(mosquitto mosquitto.h libmosquitto-dev build-mosquitto-win32.sh DIO_WINDOWS_MQTT
              mosquitto_static mosquitto)
if(WIN32)
  target_link_libraries(libmodbus INTERFACE ws2_32)
  target_compile_definitions(mosquitto INTERFACE LIBMOSQUITTO_STATIC)
  # Its network thread is a POSIX thread: MinGW's own (static, as the
  # programs that use it link everything).
  target_link_libraries(mosquitto INTERFACE ws2_32 pthread)
endif()
# Linux only: the plant's store (the collector and history of it run on Linux,
# where PostgreSQL's client library is Debian's; the stations on Windows need
# none) and the libraries of the drivers on Linux's own interfaces to cards
# and GPIO lines (Windows has neither interface).
function(dio_linux_library target header package)
  find_path(DIO_${target}_INCLUDE ${header} PATH_SUFFIXES postgresql)
  find_library(DIO_${target}_LIBRARY NAMES ${ARGN})
  if(NOT DIO_${target}_INCLUDE OR NOT DIO_${target}_LIBRARY)
    message(FATAL_ERROR "${target} not found: install ${package}")
  endif()
  add_library(${target} INTERFACE IMPORTED GLOBAL)
  target_include_directories(${target} SYSTEM INTERFACE ${DIO_${target}_INCLUDE})
  target_link_libraries(${target} INTERFACE ${DIO_${target}_LIBRARY})
endfunction()
if(NOT WIN32)
  dio_linux_library(libpq libpq-fe.h libpq-dev pq)
endif()
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  dio_linux_library(libcomedi comedilib.h libcomedi-dev comedi)
  dio_linux_library(libgpiod gpiod.h libgpiod-dev gpiod)
endif()
