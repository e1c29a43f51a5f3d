# cmake -D build=<build folder> -P print_package_name.cmake: prints the file
# name (without extension) CPack gives the package of that build.
include(${build}/CPackConfig.cmake)
message("${CPACK_PACKAGE_FILE_NAME}")
