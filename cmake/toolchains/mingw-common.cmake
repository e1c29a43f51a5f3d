# Cross-compiling for Windows with mingw-w64 (posix threads); the including
# toolchain file sets DIO_MINGW_ARCH. A Qt for Windows is found where
# DIO_WINDOWS_QT points (scripts/build-qt-win32.sh makes one).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${DIO_MINGW_ARCH})
set(CMAKE_C_COMPILER ${DIO_MINGW_ARCH}-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER ${DIO_MINGW_ARCH}-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER ${DIO_MINGW_ARCH}-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${DIO_MINGW_ARCH}-w64-mingw32 ${DIO_WINDOWS_QT} ${DIO_WINDOWS_MODBUS}
    ${DIO_WINDOWS_SQLITE} ${DIO_WINDOWS_MQTT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
