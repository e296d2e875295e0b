#pragma once

// The primary display as the composer and the settings see it, in device pixels.
struct TScreenSize {
    int width = 0;
    int height = 0;
    int depth = 32;  // bits per pixel of a bitmap for this display: 24 or 32
    bool operator==(const TScreenSize&) const = default;
};

class TScreenInfo {
public:
    virtual ~TScreenInfo() = default;
    // Read anew at every call: displays are plugged and resized while the program runs.
    virtual TScreenSize PrimaryScreenSize() = 0;
};

// A display of fixed size, for tests and for tools without a display.
class TFixedScreenInfo : public TScreenInfo {
public:
    explicit TFixedScreenInfo(TScreenSize size) : size_(size) {}
    TScreenSize PrimaryScreenSize() override { return size_; }
    void Set(TScreenSize size) { size_ = size; }

private:
    TScreenSize size_;
};
