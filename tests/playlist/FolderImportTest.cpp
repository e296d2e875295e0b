// Folder import without a display: the directory search, the masks from the
// image library, the start-folder chain and the system's wallpaper folder.
#include <gtest/gtest.h>
#include <FreeImage.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>

#include "playlist/EditorServices.h"
#include "registry/JclRegistry.h"
#include "registry/MemoryRegistryStore.h"
#include "registry/RegHive.h"
#include "support/TempDir.h"
#include "wallpaper/FolderUtils.h"
#include "wallpaper/FreeFormats.h"

namespace {

using Lines = std::vector<std::string>;

const std::string kCurrentVersion =
    "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion";

class TTableFormats : public TImageFormatInfo {
public:
    int Count() const override { return int(ext.size()); }
    bool Reads(int index) const override { return index != unreadable; }
    std::string ExtensionList(int index) const override {
        return index >= 0 && index < int(ext.size()) ? ext[std::size_t(index)] : "";
    }
    std::string Description(int index) const override {
        return index >= 0 && index < int(desc.size()) ? desc[std::size_t(index)] : "";
    }
    Lines ext, desc;
    int unreadable = -1;
};

class TFakeFolders : public TKnownFolders {
public:
    std::string DocumentsFolder() const override { return docs; }
    std::string WindowsDirectory() const override { return windows; }
    std::string docs, windows;
};

class TPickerOnly : public TEditorDialogs {
public:
    bool OpenImage(const std::string&, std::vector<std::string>&) override { return false; }
    bool OpenList(std::string&) override { return false; }
    bool SaveList(std::string&) override { return false; }
    bool PickFolder(const std::string& title, const std::string&, const std::string& start,
                    std::string& folder) override {
        titles.push_back(title);
        starts.push_back(start);
        if (answer.empty()) {
            return false;
        }
        folder = answer;
        return true;
    }
    std::string answer;
    Lines titles, starts;
};

// A registry with the machine hive only, installed for one test.
class TMachineRegistry {
public:
    TMachineRegistry() : store_(std::make_shared<TMemoryRegistryStore>()) {
        previous_ = RegCurrentStore();
        RegSetStore(store_);
    }
    ~TMachineRegistry() { RegSetStore(previous_); }
    void SetWallpaperDir(const std::string& text, TRegType type = TRegType::Sz) {
        store_->Hive().CreateKey(kCurrentVersion);
        store_->Hive().Set(kCurrentVersion, "WallPaperDir", TRegValue::Text(text, type));
    }
    TMemoryRegistryStore& Store() { return *store_; }

private:
    std::shared_ptr<TMemoryRegistryStore> store_;
    std::shared_ptr<TRegistryStore> previous_;
};

void Touch(const std::string& path) {
    WriteFileBytes(path, "x");
}

TEST(FormatFilters, MasksAndPairsFromTheFormatTable) {
    TTableFormats t;
    t.ext = {"bmp", "tif,tiff", "", "g3", "webp"};
    t.desc = {"Bitmap", "  Tagged Image File \t", "Nameless", "Fax", "WebP"};
    t.unreadable = 3;
    EXPECT_EQ(GetFormatMasks(0, t), "*.bmp");
    EXPECT_EQ(GetFormatMasks(1, t), "*.tif;*.tiff");
    EXPECT_EQ(GetFormatMasks(2, t), "*.");  // no extensions: names without one
    EXPECT_EQ(GetFormatFilter(0, t), "Bitmap(*.bmp)|*.bmp");
    EXPECT_EQ(GetFormatFilter(1, t), "Tagged Image File(*.tif;*.tiff)|*.tif;*.tiff");
    EXPECT_EQ(GetFormatFilter(-1, t), "");
    // Every format of the table the library reads, and only those.
    const std::string all = "*.bmp;*.tif;*.tiff;*.;*.webp";
    EXPECT_EQ(GetAllFormatMasks(t), all);
    EXPECT_EQ(GetOpenImageFilter(t), "All supported formats|" + all +
                                         "|Bitmap(*.bmp)|*.bmp|Tagged Image File(*.tif;*.tiff)|"
                                         "*.tif;*.tiff|Nameless(*.)|*.|WebP(*.webp)|*.webp");
}

TEST(FormatFilters, TheInstalledFreeImage) {
    const std::string filter = GetOpenImageFilter();
    EXPECT_EQ(GetFormatMasks(0), "*.bmp");
    EXPECT_EQ(GetFormatMasks(2), "*.jpg;*.jif;*.jpeg;*.jpe");
    EXPECT_EQ(GetFormatFilter(0).substr(GetFormatFilter(0).find('(')), "(*.bmp)|*.bmp");
    const Lines masks = BuildMasks(GetAllFormatMasks());
    ASSERT_GE(masks.size(), 24u);
    EXPECT_EQ(masks[0], "*.bmp");
    EXPECT_EQ(masks[1], "*.ico");
    EXPECT_EQ(masks[2], "*.jpg");
    EXPECT_NE(std::find(masks.begin(), masks.end(), "*.png"), masks.end());
    EXPECT_NE(std::find(masks.begin(), masks.end(), "*.tiff"), masks.end());
    // The formats numbered after the first 24, which this FreeImage reads too.
    for (const char* mask : {"*.gif", "*.webp", "*.jp2", "*.exr", "*.hdr", "*.nef"}) {
        EXPECT_NE(std::find(masks.begin(), masks.end(), mask), masks.end()) << mask;
        EXPECT_NE(filter.find(mask), std::string::npos) << mask;
    }
    EXPECT_EQ(std::find(masks.begin(), masks.end(), "*.g3"), masks.end()) << "read by no one";
    // The names told without the library are those it lists for JPEG and PNG.
    for (const std::string& mask :
         BuildMasks(GetFormatMasks(FIF_JPEG) + ";" + GetFormatMasks(FIF_PNG))) {
        EXPECT_TRUE(IsJpegOrPngName("Photo" + mask.substr(1))) << mask;
    }
    EXPECT_TRUE(IsJpegOrPngName("DSC01.JPG"));
    EXPECT_FALSE(IsJpegOrPngName("scan.tif"));
}

TEST(FolderUtils, AddBackslashAndMasks) {
    EXPECT_EQ(AddBackslash(""), "");
    EXPECT_EQ(AddBackslash("/a"), "/a/");
    EXPECT_EQ(AddBackslash("/a/"), "/a/");
    EXPECT_EQ(AddBackslash("/"), "/");
    EXPECT_TRUE(MatchesMask("Photo.JPG", "*.jpg"));
    EXPECT_TRUE(MatchesMask(".hidden.png", "*.png"));
    EXPECT_FALSE(MatchesMask("photo.jpeg", "*.jpg"));
    EXPECT_FALSE(MatchesMask("photo.jpg.txt", "*.jpg"));
    EXPECT_TRUE(MatchesMask("a.b.tif", "*.tif"));
    EXPECT_TRUE(MatchesMask("README", "*."));
    EXPECT_FALSE(MatchesMask("a.b", "*."));
    EXPECT_TRUE(MatchesMask("x1.bmp", "x?.bmp"));
    EXPECT_TRUE(MatchesMask("\xE9t\xE9.PNG", "*.png"));
}

TEST(FolderUtils, FindFilesFindsFilesOnlyAndReportsTheSearch) {
    TTempDir dir;
    Touch(dir.File("b.jpg"));
    Touch(dir.File("A.JPG"));
    Touch(dir.File(".hidden.jpg"));
    Touch(dir.File("note.txt"));
    ASSERT_EQ(::mkdir(dir.File("sub.jpg").c_str(), 0700), 0);
    Touch(dir.File("sub.jpg/inner.jpg"));
    ASSERT_EQ(::symlink(dir.File("sub.jpg").c_str(), dir.File("dirlink.jpg").c_str()), 0);
    ASSERT_EQ(::symlink(dir.File("b.jpg").c_str(), dir.File("filelink.jpg").c_str()), 0);

    Lines found;
    EXPECT_EQ(FindFiles(dir.Path(), "*.jpg", found), 0);
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (Lines{dir.File(".hidden.jpg"), dir.File("A.JPG"), dir.File("b.jpg"),
                            dir.File("filelink.jpg")}));

    Lines none;
    EXPECT_EQ(FindFiles(dir.Path(), "*.gif", none), ENOENT);
    EXPECT_EQ(FindFiles(dir.Path() + "/", "*.txt", none), 0);
    EXPECT_EQ(none, Lines{dir.File("note.txt")});  // no doubled delimiter
    Lines gone;
    EXPECT_NE(FindFiles(dir.File("vanished"), "*.jpg", gone), 0);
    EXPECT_TRUE(gone.empty());
}

TEST(FolderUtils, ImportOrderFollowsTheMasks) {
    TTempDir dir;
    Touch(dir.File("a.jpg"));
    Touch(dir.File("z.bmp"));
    Touch(dir.File("m.png"));
    Touch(dir.File("skip.txt"));
    ASSERT_EQ(::mkdir(dir.File("nested.bmp").c_str(), 0700), 0);
    Touch(dir.File("nested.bmp/deep.bmp"));
    const Lines found = FindImageFiles(dir.Path(), {"*.bmp", "*.jpg", "*.png", "*.bmp"});
    EXPECT_EQ(found,
              (Lines{dir.File("z.bmp"), dir.File("a.jpg"), dir.File("m.png"), dir.File("z.bmp")}));
    EXPECT_TRUE(FindImageFiles("", {"*.bmp"}).empty());

    // Within a mask, names in order without regard to case; names equal but
    // for case in byte order, whatever order the directory keeps.
    TTempDir sorted;
    for (const char* name : {"img_1436.jpg", "IMG_0361.jpg", "b.jpg", "B.jpg", "a.png", "c.JPG"}) {
        Touch(sorted.File(name));
    }
    EXPECT_EQ(
        FindImageFiles(sorted.Path(), {"*.png", "*.jpg"}),
        (Lines{sorted.File("a.png"), sorted.File("B.jpg"), sorted.File("b.jpg"),
               sorted.File("c.JPG"), sorted.File("IMG_0361.jpg"), sorted.File("img_1436.jpg")}));
    EXPECT_TRUE(FindImageFiles(dir.File("a.jpg"), {"*.bmp"}).empty());
}

TEST(FolderUtils, ManyFilesAndNamesThatAreNotUtf8) {
    TTempDir dir;
    for (int i = 0; i < 10000; ++i) {
        Touch(dir.File("img" + std::to_string(i) + (i % 2 ? ".jpg" : ".PNG")));
    }
    Touch(dir.File("caf\xE9 \"quoted\" name.jpg"));
    const Lines found = FindImageFiles(dir.Path(), {"*.png", "*.jpg"});
    ASSERT_EQ(found.size(), 10001u);
    EXPECT_EQ(std::count(found.begin(), found.end(), dir.File("caf\xE9 \"quoted\" name.jpg")), 1);
}

TEST(FolderUtils, EnvironmentReferences) {
    const auto env = [](const std::string& name) -> std::optional<std::string> {
        if (name == "SystemRoot")
            return std::string("/win");
        if (name == "EMPTY")
            return std::string();
        return std::nullopt;
    };
    EXPECT_EQ(ExpandEnvironmentStrings("%SystemRoot%/Web", env), "/win/Web");
    EXPECT_EQ(ExpandEnvironmentStrings("a%EMPTY%b", env), "ab");
    EXPECT_EQ(ExpandEnvironmentStrings("%UNSET%/x", env), "%UNSET%/x");
    EXPECT_EQ(ExpandEnvironmentStrings("100% %SystemRoot%", env), "100% /win");
    EXPECT_EQ(ExpandEnvironmentStrings("%%", env), "%%");
    EXPECT_EQ(ExpandEnvironmentStrings("50%", env), "50%");
}

TEST(WallpaperDir, ReadFromTheMachineHive) {
    TMachineRegistry reg;
    EXPECT_EQ(GetWallpaperDir(), "");  // no key
    ::setenv("VANTORIA_TEST_WALLS", "/srv/walls", 1);
    reg.SetWallpaperDir("%VANTORIA_TEST_WALLS%/day", TRegType::ExpandSz);
    EXPECT_EQ(GetWallpaperDir(), "/srv/walls/day");
    reg.SetWallpaperDir("/usr/share/backgrounds");
    EXPECT_EQ(GetWallpaperDir(), "/usr/share/backgrounds");
    reg.Store().Hive().Set(kCurrentVersion, "WallPaperDir", TRegValue::Dword(7));
    EXPECT_EQ(GetWallpaperDir(), "");  // wrong type: empty, no error
}

TEST(WallpaperDir, TheShippedMachineHiveNamesTheSystemBackgrounds) {
    const char* src = std::getenv("VANTORIA_SOURCE_DIR");
    ASSERT_NE(src, nullptr);
    std::string why;
    const auto hive =
        ParseRegFile(ReadFileBytes(std::string(src) + "/resources/machine.reg"), &why);
    ASSERT_TRUE(hive) << why;
    const TRegValue* v = hive->Find(kCurrentVersion, "WallPaperDir");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(*v, TRegValue::Text("/usr/share/backgrounds"));
}

TEST(StartFolder, TheChainOfCandidates) {
    TMachineRegistry reg;
    TTempDir dir;
    TFakeFolders folders;
    folders.docs = dir.File("Documents");
    folders.windows = dir.File("Pictures");
    ASSERT_EQ(::mkdir(folders.docs.c_str(), 0700), 0);

    // No wallpaper folder, no "My Pictures": the last resort.
    EXPECT_EQ(ChooseStartFolder(folders), folders.windows);
    ASSERT_EQ(::mkdir((folders.docs + "/My Pictures").c_str(), 0700), 0);
    EXPECT_EQ(ChooseStartFolder(folders), folders.docs + "/My Pictures");
    folders.docs += "/";
    EXPECT_EQ(ChooseStartFolder(folders), folders.docs + "My Pictures");

    // A wallpaper folder that does not exist skips "My Pictures".
    reg.SetWallpaperDir(dir.File("nowhere"));
    EXPECT_EQ(ChooseStartFolder(folders), folders.windows);
    reg.SetWallpaperDir(dir.Path());
    EXPECT_EQ(ChooseStartFolder(folders), dir.Path());

    // An unknown documents folder gives a lone delimiter before "My Pictures".
    TMachineRegistry none;
    TFakeFolders unknown;
    unknown.windows = "/the/last/resort";
    EXPECT_EQ(ChooseStartFolder(unknown),
              DirectoryExists("/My Pictures") ? "/My Pictures" : "/the/last/resort");
}

TEST(StartFolder, ThePickerForgetsAFolderThatIsGone) {
    TTempDir dir;
    TPickerOnly picker;
    std::string folder = dir.File("gone");
    EXPECT_FALSE(BrowseForFolder(picker, "Select Wallpapers folder", "", folder));
    EXPECT_EQ(folder, "");
    EXPECT_EQ(picker.starts, Lines{""});

    folder = dir.Path();
    picker.answer = "/chosen";
    EXPECT_TRUE(BrowseForFolder(picker, "Select Wallpapers folder", "", folder));
    EXPECT_EQ(folder, "/chosen");
    EXPECT_EQ(picker.starts.back(), dir.Path());
    EXPECT_EQ(picker.titles.back(), "Select Wallpapers folder");
}

}  // namespace
