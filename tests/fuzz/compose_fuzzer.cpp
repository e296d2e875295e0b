// libFuzzer target over the composer's load-and-compose path.
//
// Input: byte 0 picks the mode (0 to 3, or an unknown one), byte 1 the
// display (size and depth); the rest is the picture file. Seeds are written
// by the composer's tests into <build>/fuzz-seeds/compose.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/ScreenInfo.h"
#include "wallpaper/Composer.h"

namespace {

std::string& WorkFolder() {
    static std::string folder = [] {
        char pattern[] = "/tmp/vantoria-fuzz-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        if (!made)
            std::abort();
        return std::string(made);
    }();
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const int modes[] = {0, 1, 2, 3, 7};
    const int mode = modes[data[0] % 5];
    const int width = 16 + (data[1] & 0x0F) * 9;
    const int height = 12 + ((data[1] >> 4) & 0x07) * 7;
    const int depth = (data[1] & 0x80) ? 32 : 24;

    const std::string source = WorkFolder() + "/input";
    const std::string destination = WorkFolder() + "/vantoria.bmp";
    std::FILE* file = std::fopen(source.c_str(), "wb");
    if (!file)
        std::abort();
    std::fwrite(data + 2, 1, size - 2, file);
    std::fclose(file);

    // The program's own budgets: the fuzzer meets what a user's file meets.
    const TComposeOptions options;
    TComposeRequest request{source,     static_cast<TFitMode>(mode),       dpCenter,
                            0x00336699, {{"", 0, 0, width, height, true}}, depth};
    Compose(request, TMonitorBitmaps{{destination}}, options);
    ::unlink(destination.c_str());
    // The plain X root's road: placed by the desktop's placement, where a
    // centred or tiled photograph is decoded only where the screen shows it.
    struct : TPictureParts {
        bool Put(int, int, const TScreenPicture&) override { return true; }
    } parts;
    request.placement = static_cast<TDesktopPlacement>(data[0] / 5 % 3);
    Compose(request, TScreenParts{TPixelSize{width, height}, &parts}, options);
    return 0;
}
