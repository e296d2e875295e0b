#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>

// A block of memory the compositor reads a surface's pixels from: an
// anonymous file mapped into this process, unmapped and closed when it goes.
class TSharedMemory {
public:
    TSharedMemory() = default;
    TSharedMemory(const TSharedMemory&) = delete;
    TSharedMemory& operator=(const TSharedMemory&) = delete;
    ~TSharedMemory() {
        if (data_) {
            munmap(data_, bytes_);
        }
        if (fd_ >= 0) {
            close(fd_);
        }
    }

    // False, with errno telling why, where the memory cannot be had.
    bool Make(const char* name, std::size_t bytes) {
        fd_ = memfd_create(name, MFD_CLOEXEC);
        if (fd_ < 0 || ftruncate(fd_, static_cast<off_t>(bytes)) != 0) {
            return false;
        }
        void* data = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
        if (data == MAP_FAILED) {
            return false;
        }
        data_ = data;
        bytes_ = bytes;
        return true;
    }

    int Fd() const { return fd_; }
    void* Data() const { return data_; }
    std::size_t Bytes() const { return bytes_; }

private:
    int fd_ = -1;
    void* data_ = nullptr;
    std::size_t bytes_ = 0;
};
