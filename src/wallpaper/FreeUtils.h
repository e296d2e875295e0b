#pragma once

#include <FreeImage.h>

#include <string>

// The image format that the content of `fileName` shows, FIF_UNKNOWN when
// FreeImage recognises none (whatever the file's extension) or `fileName` is
// no regular file.
FREE_IMAGE_FORMAT GetImageFileType(const std::string& fileName);
