# Cross-compiling for 32-bit Windows: the width of the real card driver.
set(DIO_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
