#include "wallpaper/FreeUtils.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

FREE_IMAGE_FORMAT GetImageFileType(const std::string& fileName) {
    // JPEG and PNG, the photographs this program decodes itself, are told by
    // their signatures here, so that showing them never loads FreeImage.
    // Non-blocking: a pipe named like a picture has no writer to wait for.
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return FIF_UNKNOWN;
    }
    struct stat info {};
    unsigned char start[8] = {};
    const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    const ssize_t read = regular ? ::read(fd, start, sizeof start) : 0;
    ::close(fd);
    if (!regular) {
        return FIF_UNKNOWN;
    }
    static const unsigned char kJpeg[] = {0xFF, 0xD8, 0xFF};
    static const unsigned char kPng[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (read >= 3 && std::memcmp(start, kJpeg, sizeof kJpeg) == 0) {
        return FIF_JPEG;
    }
    if (read == 8 && std::memcmp(start, kPng, sizeof kPng) == 0) {
        return FIF_PNG;
    }
    return FreeImage_GetFileType(fileName.c_str(), 0);
}
