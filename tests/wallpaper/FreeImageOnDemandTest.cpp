// FreeImage is opened on first use: a photograph scaled to the screen shows
// without it, a format that only FreeImage reads opens it. One test in a
// process of its own, so that nothing before it has opened the library; its
// pictures are made with Qt for the same reason.

#include <gtest/gtest.h>
#include <link.h>

#include <QImage>
#include <cstdlib>
#include <cstring>

#include "ComposeCalls.h"
#include "support/TempDir.h"

namespace {

bool FreeImageLoaded() {
    return dl_iterate_phdr(
               [](dl_phdr_info* info, std::size_t, void*) {
                   return std::strstr(info->dlpi_name, "libfreeimage") ? 1 : 0;
               },
               nullptr) != 0;
}

}  // namespace

TEST(FreeImageOnDemand, PhotographsShowWithoutItOtherFormatsOpenIt) {
    const TTempDir dir;
    QImage photo(1728, 1152, QImage::Format_RGB32);
    photo.fill(QColor(200, 120, 40));
    ASSERT_TRUE(photo.save(QString::fromStdString(dir.File("photo.jpg")), "JPG", 95));
    QImage flat(40, 30, QImage::Format_RGB32);
    flat.fill(QColor(10, 200, 90));
    ASSERT_TRUE(flat.save(QString::fromStdString(dir.File("flat.bmp")), "BMP"));

    TScreenPicture screen;
    ASSERT_TRUE(
        ComposeScreenPicture(dir.File("photo.jpg"), fmStretch, dpCenter, 0, {1920, 1080}, screen));
    const std::uint32_t shown = screen.pixels[540 * 1920 + 960];
    EXPECT_LE(std::abs(int(shown >> 16) - 200) + std::abs(int(shown >> 8 & 0xFF) - 120) +
                  std::abs(int(shown & 0xFF) - 40),
              6)
        << std::hex << shown;
    EXPECT_FALSE(FreeImageLoaded());

    ASSERT_TRUE(
        ComposeScreenPicture(dir.File("flat.bmp"), fmStretch, dpCenter, 0, {1920, 1080}, screen));
    EXPECT_EQ(screen.pixels[540 * 1920 + 960], 0x0AC85Au);
    EXPECT_TRUE(FreeImageLoaded());
}
