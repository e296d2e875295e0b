# Finds the FreeImage C library's header. Debian ships neither a pkg-config
# file nor a CMake package for it, so look for the header directly. Nothing
# links the library: src/wallpaper/FreeImageLibrary.cpp opens it on first use.
#
# Provides FreeImage::Headers, FreeImage_FOUND, FreeImage_INCLUDE_DIR.

find_path(FreeImage_INCLUDE_DIR NAMES FreeImage.h)

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(FreeImage REQUIRED_VARS FreeImage_INCLUDE_DIR)

if(FreeImage_FOUND AND NOT TARGET FreeImage::Headers)
    add_library(FreeImage::Headers INTERFACE IMPORTED)
    set_target_properties(FreeImage::Headers PROPERTIES
        INTERFACE_INCLUDE_DIRECTORIES "${FreeImage_INCLUDE_DIR}")
endif()
mark_as_advanced(FreeImage_INCLUDE_DIR)
