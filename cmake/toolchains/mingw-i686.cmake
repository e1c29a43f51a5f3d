# Cross-compiling for 32-bit Windows: the width of the real card driver. Its
# programs run here under wine32, in a 32-bit prefix (WINEARCH=win32).
set(DIO_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine)
