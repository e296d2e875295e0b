// The preview's decoders: the extensions known, thumbnails' shapes,
// and damaged, enormous or strange files that must end in a message.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <QFileInfo>
#include <QImage>
#include <QProcess>

#include "playlist/PreviewDecoder.h"
#include "support/TempDir.h"

namespace {

std::string ErrorOf(const std::string& path) {
    try {
        LoadPreviewPicture(path);
    } catch (const EPreviewError& e) {
        return e.what();
    }
    return "(decoded)";
}

QImage Gradient(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            img.setPixel(x, y, qRgb(x * 255 / w, y * 255 / h, 128));
        }
    }
    return img;
}

void Save(const QImage& img, const std::string& path, const char* format) {
    ASSERT_TRUE(img.save(QString::fromLocal8Bit(path.c_str()), format)) << path;
}

// An uncompressed 24-bit Targa file (Qt only reads them).
std::string Targa(const QImage& img) {
    std::string out(18, '\0');
    out[2] = 2;
    out[12] = char(img.width() & 0xFF);
    out[13] = char(img.width() >> 8);
    out[14] = char(img.height() & 0xFF);
    out[15] = char(img.height() >> 8);
    out[16] = 24;
    out[17] = 0x20;  // rows top to bottom
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            const QRgb c = img.pixel(x, y);
            out += char(qBlue(c));
            out += char(qGreen(c));
            out += char(qRed(c));
        }
    }
    return out;
}

TEST(ThumbnailRect, FitsThePictureIntoThePreview) {
    EXPECT_EQ(ThumbnailRectFor(200, 100), QRect(0, 0, 105, 52));
    EXPECT_EQ(ThumbnailRectFor(100, 200), QRect(0, 0, 52, 105));
    EXPECT_EQ(ThumbnailRectFor(640, 640), QRect(0, 0, 105, 105));
    EXPECT_EQ(ThumbnailRectFor(1, 1), QRect(0, 0, 105, 105));
    EXPECT_EQ(ThumbnailRectFor(3, 2), QRect(0, 0, 105, 70));
    EXPECT_EQ(ThumbnailRectFor(0, 100), QRect(0, 0, 105, 105));
    EXPECT_EQ(ThumbnailRectFor(100, -1), QRect(0, 0, 105, 105));
    EXPECT_EQ(ThumbnailRectFor(1920, 1080), QRect(0, 0, 105, 59));
}

TEST(PreviewExtensions, ItsOwnAndEveryFormatFreeImageReads) {
    int known = 0;
    for (const char* e : {"bmp", "ico", "wmf", "emf", "jfif", "jpg",  "jpe", "jpeg", "rle", "dib",
                          "win", "vst", "vda", "tga", "icb",  "tiff", "tif", "fax",  "eps", "pcx",
                          "pcc", "scr", "rpf", "rla", "sgi",  "rgba", "rgb", "bw",   "psd", "pdd",
                          "ppm", "pgm", "pbm", "cel", "pic",  "pcd",  "cut", "psp",  "png"}) {
        known += IsPreviewExtension(e) ? 1 : 0;
    }
    EXPECT_EQ(known, 39);
    EXPECT_TRUE(IsPreviewExtension("JPG"));
    EXPECT_TRUE(IsPreviewExtension("GIF"));
    EXPECT_FALSE(IsPreviewExtension("gi"));
    EXPECT_FALSE(IsPreviewExtension("txt"));
    EXPECT_FALSE(IsPreviewExtension(""));
    EXPECT_EQ(PictureExtension("/a.b/c"), "");
    EXPECT_EQ(PictureExtension("/a/c.tar.PNG"), "PNG");
    EXPECT_EQ(PictureExtension("/a/c."), "");
    EXPECT_EQ(ErrorOf("/x/notes.txt"), "Unknown picture file extension (.txt)");
    EXPECT_EQ(ErrorOf(""), "Unknown picture file extension (.)");
    EXPECT_EQ(ErrorOf("/x/README"), "Unknown picture file extension (.)");
}

TEST(PreviewDecoding, CommonFormatsAndTheirSizes) {
    TTempDir dir;
    Save(Gradient(200, 100), dir.File("a.png"), "PNG");
    Save(Gradient(64, 48), dir.File("b.BMP"), "BMP");
    Save(Gradient(30, 90), dir.File("c.jpeg"), "JPEG");
    WriteFileBytes(dir.File("d.vst"), Targa(Gradient(40, 20)));  // a Targa by another name
    Save(Gradient(3000, 1000), dir.File("wide.png"), "PNG");
    // Qt cannot name this file; its bytes are copied under the name.
    WriteFileBytes(dir.File("caf\xE9 \"x\".png"), ReadFileBytes(dir.File("a.png")));

    EXPECT_EQ(LoadPreviewPicture(dir.File("a.png")).size, QSize(200, 100));
    EXPECT_EQ(LoadPreviewPicture(dir.File("b.BMP")).size, QSize(64, 48));
    EXPECT_EQ(LoadPreviewPicture(dir.File("c.jpeg")).size, QSize(30, 90));
    EXPECT_EQ(LoadPreviewPicture(dir.File("d.vst")).size, QSize(40, 20));
    const TPreviewPicture wide = LoadPreviewPicture(dir.File("wide.png"));
    EXPECT_EQ(wide.size, QSize(3000, 1000));
    EXPECT_LE(wide.image.width(), 1024);
    EXPECT_EQ(ThumbnailRectFor(wide.size.width(), wide.size.height()), QRect(0, 0, 105, 35));
    EXPECT_FALSE(LoadPreviewPicture(dir.File("caf\xE9 \"x\".png")).image.isNull());
}

TEST(PreviewDecoding, FormatsFreeImageReads) {
    TTempDir dir;
    Save(Gradient(50, 25), dir.File("src.png"), "PNG");
    const QString convert = QStringLiteral("/usr/bin/convert");
    if (!QFileInfo::exists(convert)) {
        GTEST_SKIP() << "ImageMagick is missing (scripts/install-deps)";
    }
    for (const char* ext : {"pcx", "psd", "sgi", "gif"}) {
        const std::string out = dir.File(std::string("pic.") + ext);
        ASSERT_EQ(QProcess::execute(convert, {QString::fromStdString(dir.File("src.png")),
                                              QString::fromStdString(out)}),
                  0);
        const TPreviewPicture p = LoadPreviewPicture(out);
        EXPECT_EQ(p.size, QSize(50, 25)) << ext;
        EXPECT_FALSE(p.image.isNull()) << ext;
    }
}

TEST(PreviewDecoding, BadFilesEndInAMessage) {
    TTempDir dir;
    WriteFileBytes(dir.File("garbage.jpg"), std::string(4000, '\x5A'));
    WriteFileBytes(dir.File("empty.png"), "");
    EXPECT_EQ(ErrorOf(dir.File("garbage.jpg"))
                  .rfind("Cannot show picture \"" + dir.File("garbage.jpg"), 0),
              0u);
    EXPECT_EQ(ErrorOf(dir.File("empty.png")).rfind("Cannot show picture", 0), 0u);
    EXPECT_EQ(ErrorOf(dir.File("missing.png")),
              "Cannot open file \"" + dir.File("missing.png") + "\". No such file or directory");
    ASSERT_EQ(::mkdir(dir.File("folder.png").c_str(), 0700), 0);
    EXPECT_EQ(ErrorOf(dir.File("folder.png")).rfind("Cannot open file", 0), 0u);
    ASSERT_EQ(::mkfifo(dir.File("pipe.png").c_str(), 0600), 0);
    EXPECT_EQ(ErrorOf(dir.File("pipe.png")).rfind("Cannot open file", 0), 0u);  // no hang

    // A truncated bitmap whose header claims 60000 x 60000 pixels.
    std::string bmp(54, '\0');
    const auto put32 = [&bmp](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bmp[at + std::size_t(i)] = char((v >> (8 * i)) & 0xFF);
    };
    bmp[0] = 'B';
    bmp[1] = 'M';
    put32(2, 54 + 1000);
    put32(10, 54);
    put32(14, 40);
    put32(18, 60000);
    put32(22, 60000);
    bmp[26] = 1;
    bmp[28] = 24;
    WriteFileBytes(dir.File("huge.bmp"), bmp + std::string(1000, '\x10'));
    EXPECT_EQ(ErrorOf(dir.File("huge.bmp")).rfind("Cannot show picture", 0), 0u);

    // A PNG cut off in the middle of its pixels.
    Save(Gradient(300, 300), dir.File("whole.png"), "PNG");
    const std::string whole = ReadFileBytes(dir.File("whole.png"));
    WriteFileBytes(dir.File("cut.png"), whole.substr(0, whole.size() / 2));
    try {
        LoadPreviewPicture(dir.File("cut.png"));  // a partial picture is acceptable
    } catch (const EPreviewError&) {
    }
}

}  // namespace
