# Finds the FreeImage C library. Debian ships neither a pkg-config file nor a
# CMake package for it, so look for the header and the shared library directly.
#
# Provides FreeImage::FreeImage, FreeImage_FOUND, FreeImage_INCLUDE_DIR, FreeImage_LIBRARY.

find_path(FreeImage_INCLUDE_DIR NAMES FreeImage.h)
find_library(FreeImage_LIBRARY NAMES freeimage FreeImage)

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(FreeImage REQUIRED_VARS FreeImage_LIBRARY FreeImage_INCLUDE_DIR)

if(FreeImage_FOUND AND NOT TARGET FreeImage::FreeImage)
    add_library(FreeImage::FreeImage SHARED IMPORTED)
    set_target_properties(FreeImage::FreeImage PROPERTIES
        IMPORTED_LOCATION "${FreeImage_LIBRARY}"
        INTERFACE_INCLUDE_DIRECTORIES "${FreeImage_INCLUDE_DIR}")
endif()
mark_as_advanced(FreeImage_INCLUDE_DIR FreeImage_LIBRARY)
