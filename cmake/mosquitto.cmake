# libmosquitto (MQTT), as the target `mosquitto`: Debian's libmosquitto-dev
# here; for Windows the static library that scripts/build-mosquitto-win32.sh
# builds from Debian's source, where DIO_WINDOWS_MQTT points (the toolchain
# files put it in the cross build's find root).
find_path(DIO_MOSQUITTO_INCLUDE mosquitto.h)
find_library(DIO_MOSQUITTO_LIBRARY NAMES mosquitto_static mosquitto)
if(NOT DIO_MOSQUITTO_INCLUDE OR NOT DIO_MOSQUITTO_LIBRARY)
  if(CMAKE_CROSSCOMPILING)
    message(FATAL_ERROR "libmosquitto for the target not found: build it with "
                        "scripts/build-mosquitto-win32.sh and set DIO_WINDOWS_MQTT to its folder")
  endif()
  message(FATAL_ERROR "libmosquitto not found: install libmosquitto-dev")
endif()
add_library(mosquitto INTERFACE IMPORTED GLOBAL)
target_include_directories(mosquitto SYSTEM INTERFACE ${DIO_MOSQUITTO_INCLUDE})
target_link_libraries(mosquitto INTERFACE ${DIO_MOSQUITTO_LIBRARY})
if(WIN32)
  target_compile_definitions(mosquitto INTERFACE LIBMOSQUITTO_STATIC)
  # Its network thread is a POSIX thread: MinGW's own (static, as the
  # programs that use it link everything).
  target_link_libraries(mosquitto INTERFACE ws2_32 pthread)
endif()
