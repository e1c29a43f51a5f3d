# SQLite, as the target `sqlite`: Debian's libsqlite3-dev here; for Windows
# the static library that scripts/build-sqlite-win32.sh builds from Debian's
# source, where DIO_WINDOWS_SQLITE points (the toolchain files put it in the
# cross build's find root).
find_path(DIO_SQLITE_INCLUDE sqlite3.h)
find_library(DIO_SQLITE_LIBRARY NAMES sqlite3)
if(NOT DIO_SQLITE_INCLUDE OR NOT DIO_SQLITE_LIBRARY)
  if(CMAKE_CROSSCOMPILING)
    message(FATAL_ERROR "SQLite for the target not found: build it with "
                        "scripts/build-sqlite-win32.sh and set DIO_WINDOWS_SQLITE to its folder")
  endif()
  message(FATAL_ERROR "SQLite not found: install libsqlite3-dev")
endif()
add_library(sqlite INTERFACE IMPORTED GLOBAL)
target_include_directories(sqlite SYSTEM INTERFACE ${DIO_SQLITE_INCLUDE})
target_link_libraries(sqlite INTERFACE ${DIO_SQLITE_LIBRARY})
