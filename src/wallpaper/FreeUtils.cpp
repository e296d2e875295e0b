#include "wallpaper/FreeUtils.h"

FREE_IMAGE_FORMAT GetImageFileType(const std::string& fileName) {
    return FreeImage_GetFileType(fileName.c_str(), 0);
}
