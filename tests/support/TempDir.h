#pragma once

#include <cstddef>
#include <string>

// A private temporary folder, removed with everything in it at the end of the test.
class TTempDir {
public:
    TTempDir();
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// A small disk for a test: a tmpfs of `bytes` mounted on a fresh private
// folder, unmounted at the end. Mounting needs root: where it cannot be had,
// Mounted() is false and Why() says why, for the test's skip.
class TSmallDisk {
public:
    explicit TSmallDisk(std::size_t bytes);
    ~TSmallDisk();
    TSmallDisk(const TSmallDisk&) = delete;
    TSmallDisk& operator=(const TSmallDisk&) = delete;

    bool Mounted() const { return mounted_; }
    const std::string& Why() const { return why_; }
    const std::string& Path() const { return dir_.Path(); }
    // Fills the disk to the last byte with a file of its own; Free removes it.
    void Fill();
    void Free();

private:
    TTempDir dir_;
    bool mounted_ = false;
    std::string why_;
};

std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
