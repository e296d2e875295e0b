// Settings kept in a hive file: round trips through a fresh store, atomic
// replacement, damaged and read-only files.
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "platform/linux/registry/HiveFileStore.h"
#include "registry/JclRegistry.h"
#include "support/TempDir.h"

namespace {

const std::string kKey = "Software\\Vantoria";

class HiveFileStoreTest : public ::testing::Test {
protected:
    void TearDown() override { RegSetStore(nullptr); }
    std::shared_ptr<THiveFileStore> Open() {
        auto s = std::make_shared<THiveFileStore>(user, dir.File("machine.reg"));
        RegSetStore(s);
        return s;
    }
    TTempDir dir;
    std::string user = dir.Path() + "/config/vantoria/user.reg";
};

bool Exists(const std::string& p) {
    return ::access(p.c_str(), F_OK) == 0;
}

TEST_F(HiveFileStoreTest, WritesReachAFreshStoreAndTheFileHoldsTheExportFormat) {
    Open();
    EXPECT_FALSE(RegKeyPresent(HKEY_CURRENT_USER, kKey));
    EXPECT_FALSE(Exists(user)) << "reading must never create the file";
    RegEnsureKey(HKEY_CURRENT_USER, kKey);
    RegWriteInt(HKEY_CURRENT_USER, kKey, "ChangeTime", 60);
    RegWriteText(HKEY_CURRENT_USER, kKey, "Playlist", "/home/ann/My \"list\".vpl");

    Open();  // a new process would see the same
    EXPECT_EQ(RegReadInt(HKEY_CURRENT_USER, kKey, "ChangeTime", 0), 60);
    EXPECT_EQ(RegReadText(HKEY_CURRENT_USER, kKey, "Playlist", ""), "/home/ann/My \"list\".vpl");
    const std::string bytes = ReadFileBytes(user);
    EXPECT_EQ(bytes.rfind("Windows Registry Editor Version 5.00\r\n", 0), 0u);
    EXPECT_NE(bytes.find("[HKEY_CURRENT_USER\\Software\\Vantoria]\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("\"ChangeTime\"=dword:0000003c\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("\"Playlist\"=\"/home/ann/My \\\"list\\\".vpl\"\r\n"), std::string::npos);
    struct stat st {};
    ASSERT_EQ(::stat(user.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "settings are private to the user";
}

TEST_F(HiveFileStoreTest, ReplacesTheFileByRenameAndLeavesNoTemporaryFile) {
    Open();
    RegEnsureKey(HKEY_CURRENT_USER, kKey);
    RegWriteInt(HKEY_CURRENT_USER, kKey, "Current", 1);
    const std::string before = ReadFileBytes(user);
    // A second name for the old file: an in-place rewrite would change it too.
    const std::string link = dir.File("old.reg");
    ASSERT_EQ(::link(user.c_str(), link.c_str()), 0);
    RegWriteInt(HKEY_CURRENT_USER, kKey, "Current", 2);
    EXPECT_EQ(ReadFileBytes(link), before);
    EXPECT_NE(ReadFileBytes(user), before);
    for (const auto& e : std::filesystem::directory_iterator(dir.Path() + "/config/vantoria")) {
        EXPECT_EQ(e.path().filename().string().find(".tmp"), std::string::npos) << e.path();
    }
}

// Saving all settings replaces the file once, holding every value; until then
// the values read back from memory and the file is untouched.
TEST_F(HiveFileStoreTest, ABatchOfWritesReplacesTheFileOnce) {
    Open();
    RegEnsureKey(HKEY_CURRENT_USER, kKey);
    RegWriteInt(HKEY_CURRENT_USER, kKey, "Current", 1);
    const std::string before = ReadFileBytes(user);
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, (dir.Path() + "/config/vantoria").c_str(), IN_MOVED_TO),
              0);
    {
        TRegWriteBatch batch;
        RegEnsureKey(HKEY_CURRENT_USER, kKey + "\\Inner");
        RegWriteInt(HKEY_CURRENT_USER, kKey, "Current", 2);
        RegWriteText(HKEY_CURRENT_USER, kKey, "Folder", "/pictures");
        RegWriteInt(HKEY_CURRENT_USER, kKey + "\\Inner", "Stop", 1);
        EXPECT_EQ(RegReadInt(HKEY_CURRENT_USER, kKey, "Current", 0), 2);
        EXPECT_EQ(ReadFileBytes(user), before);
        EXPECT_TRUE(batch.End());
    }
    alignas(inotify_event) char events[4096];
    const ssize_t n = ::read(watch, events, sizeof events);
    ::close(watch);
    int replaced = 0;
    for (ssize_t at = 0; at < n;) {
        const auto* e = reinterpret_cast<const inotify_event*>(events + at);
        replaced += e->len && std::string(e->name) == "user.reg";
        at += ssize_t(sizeof(inotify_event) + e->len);
    }
    EXPECT_EQ(replaced, 1);
    Open();
    EXPECT_EQ(RegReadInt(HKEY_CURRENT_USER, kKey, "Current", 0), 2);
    EXPECT_EQ(RegReadText(HKEY_CURRENT_USER, kKey, "Folder", ""), "/pictures");
    EXPECT_EQ(RegReadInt(HKEY_CURRENT_USER, kKey + "\\Inner", "Stop", 0), 1);
}

// Saving settings that did not change (every start and end of the program)
// leaves the file as it is; a changed value replaces it.
TEST_F(HiveFileStoreTest, ValuesWrittenAgainUnchangedLeaveTheFileAlone) {
    Open();
    RegEnsureKey(HKEY_CURRENT_USER, kKey);
    RegWriteInt(HKEY_CURRENT_USER, kKey, "Current", 1);
    RegWriteText(HKEY_CURRENT_USER, kKey, "Folder", "/pictures");
    const auto inode = [&] {
        struct stat st {};
        EXPECT_EQ(::stat(user.c_str(), &st), 0);
        return st.st_ino;
    };
    const ino_t before = inode();
    {
        TRegWriteBatch batch;
        RegEnsureKey(HKEY_CURRENT_USER, kKey);
        RegWriteInt(HKEY_CURRENT_USER, kKey, "Current", 1);
        RegWriteText(HKEY_CURRENT_USER, kKey, "Folder", "/pictures");
        EXPECT_TRUE(batch.End());
    }
    RegWriteText(HKEY_CURRENT_USER, kKey, "Folder", "/pictures");
    EXPECT_EQ(inode(), before);
    RegWriteInt(HKEY_CURRENT_USER, kKey, "Current", 2);
    EXPECT_NE(inode(), before);
    Open();
    EXPECT_EQ(RegReadInt(HKEY_CURRENT_USER, kKey, "Current", 0), 2);
    EXPECT_EQ(RegReadText(HKEY_CURRENT_USER, kKey, "Folder", ""), "/pictures");
}

TEST_F(HiveFileStoreTest, FollowsEditsMadeByOthers) {
    Open();
    RegEnsureKey(HKEY_CURRENT_USER, kKey);
    RegWriteInt(HKEY_CURRENT_USER, kKey, "Autoplay", 0);
    WriteFileBytes(
        user,
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\"
        "Vantoria]\r\n\"Autoplay\"=dword:00000002\r\n\"Extra\"=\"from a text editor\"\r\n");
    EXPECT_EQ(RegReadInt(HKEY_CURRENT_USER, kKey, "Autoplay", 0), 2);
    RegWriteInt(HKEY_CURRENT_USER, kKey, "Style", 1);
    EXPECT_EQ(RegReadText(HKEY_CURRENT_USER, kKey, "Extra", ""), "from a text editor");
}

TEST_F(HiveFileStoreTest, DamagedFileGivesDefaultsAndIsKeptAsideBeforeTheFirstWrite) {
    std::filesystem::create_directories(dir.Path() + "/config/vantoria");
    const std::string junk = "this is not\x01\x02 a registry file";
    WriteFileBytes(user, junk);
    Open();
    EXPECT_FALSE(RegKeyPresent(HKEY_CURRENT_USER, kKey));
    EXPECT_EQ(RegReadInt(HKEY_CURRENT_USER, kKey, "ChangeTime", 10), 10);
    EXPECT_EQ(ReadFileBytes(user), junk) << "reading must not touch a damaged file";
    RegEnsureKey(HKEY_CURRENT_USER, kKey);
    RegWriteInt(HKEY_CURRENT_USER, kKey, "ChangeTime", 30);
    EXPECT_EQ(ReadFileBytes(user + ".bad"), junk);
    EXPECT_EQ(RegReadInt(HKEY_CURRENT_USER, kKey, "ChangeTime", 10), 30);

    // A second damaged file never overwrites the first one kept aside.
    WriteFileBytes(user, "second damage");
    RegEnsureKey(HKEY_CURRENT_USER, kKey);
    EXPECT_EQ(ReadFileBytes(user + ".bad"), junk);
    EXPECT_EQ(ReadFileBytes(user + ".bad.1"), "second damage");
}

TEST_F(HiveFileStoreTest, ReadOnlyFileOrFolderRefusesWritesAndKeepsContents) {
    Open();
    RegEnsureKey(HKEY_CURRENT_USER, kKey);
    RegWriteInt(HKEY_CURRENT_USER, kKey, "Current", 3);
    const std::string before = ReadFileBytes(user);
    ASSERT_EQ(::chmod(user.c_str(), 0444), 0);
    EXPECT_THROW(RegWriteInt(HKEY_CURRENT_USER, kKey, "Current", 4), EJclRegistryError);
    EXPECT_EQ(RegReadInt(HKEY_CURRENT_USER, kKey, "Current", 0), 3);
    EXPECT_EQ(ReadFileBytes(user), before);

    ::chmod(user.c_str(), 0644);
    const std::string folder = dir.Path() + "/config/vantoria";
    ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
    EXPECT_THROW(RegWriteInt(HKEY_CURRENT_USER, kKey, "Current", 5), EJclRegistryError);
    ::chmod(folder.c_str(), 0755);
    EXPECT_EQ(ReadFileBytes(user), before);
}

TEST_F(HiveFileStoreTest, MachineHiveIsReadOnlyAndWindowsExportsReadAsTheyAre) {
    std::string utf16 = "\xFF\xFE";
    for (char c :
         std::string("Windows Registry Editor Version 5.00\r\n\r\n"
                     "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion]\r\n"
                     "\"WallPaperDir\"=\"/usr/share/backgrounds\"\r\n")) {
        utf16.push_back(c);
        utf16.push_back('\0');
    }
    WriteFileBytes(dir.File("machine.reg"), utf16);
    Open();
    const std::string k = "Software\\Microsoft\\Windows\\CurrentVersion";
    EXPECT_EQ(RegReadTextStrict(HKEY_LOCAL_MACHINE, k, "WallPaperDir"), "/usr/share/backgrounds");
    EXPECT_THROW(RegWriteText(HKEY_LOCAL_MACHINE, k, "WallPaperDir", "/x"), EJclRegistryError);
    RegEnsureKey(HKEY_LOCAL_MACHINE, "Software\\New");
    EXPECT_FALSE(RegKeyPresent(HKEY_LOCAL_MACHINE, "Software\\New"));
    EXPECT_EQ(ReadFileBytes(dir.File("machine.reg")), utf16);
}

TEST_F(HiveFileStoreTest, EachValueStandsAloneAndNothingHangsOrIsLost) {
    std::filesystem::create_directories(dir.Path() + "/config/vantoria");
    // One malformed value costs that value only; the file is still kept aside.
    const std::string text =
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Vantoria]\r\n"
        "\"ChangeTime\"=dword:xyz\r\n\"Playlist\"=\"/home/ann/list.vpl\"\r\n";
    WriteFileBytes(user, text);
    auto store = Open();
    EXPECT_EQ(RegReadInt(HKEY_CURRENT_USER, kKey, "ChangeTime", 10), 10);
    EXPECT_EQ(RegReadText(HKEY_CURRENT_USER, kKey, "Playlist", ""), "/home/ann/list.vpl");
    EXPECT_TRUE(store->File(HKEY_CURRENT_USER).Damaged());
    RegWriteInt(HKEY_CURRENT_USER, kKey, "Current", 2);
    EXPECT_EQ(ReadFileBytes(user + ".bad"), text);
    EXPECT_EQ(RegReadText(HKEY_CURRENT_USER, kKey, "Playlist", ""), "/home/ann/list.vpl");

    // A pipe in the file's place is not waited for, and a file beyond 64 MB
    // is not read: defaults, and nothing written over them.
    ASSERT_EQ(::unlink(user.c_str()), 0);
    ASSERT_EQ(::mkfifo(user.c_str(), 0600), 0);
    store = Open();
    EXPECT_EQ(RegReadText(HKEY_CURRENT_USER, kKey, "Playlist", "none"), "none");
    EXPECT_TRUE(store->File(HKEY_CURRENT_USER).Damaged());
    EXPECT_THROW(RegWriteInt(HKEY_CURRENT_USER, kKey, "Current", 3), EJclRegistryError);
    ASSERT_EQ(::unlink(user.c_str()), 0);
    WriteFileBytes(user, text);
    ASSERT_EQ(::truncate(user.c_str(), (64L << 20) + 1), 0);
    store = Open();
    EXPECT_EQ(RegReadText(HKEY_CURRENT_USER, kKey, "Playlist", "none"), "none");
    EXPECT_TRUE(store->File(HKEY_CURRENT_USER).Damaged());
}

TEST_F(HiveFileStoreTest, DesktopValuesLiveBesideAReadOnlySettingsFile) {
    // An earlier version kept the desktop's values in the settings file.
    std::filesystem::create_directories(dir.Path() + "/config/vantoria");
    WriteFileBytes(user,
                   "Windows Registry Editor Version 5.00\r\n\r\n"
                   "[HKEY_CURRENT_USER\\Control Panel\\Desktop]\r\n\"WallpaperStyle\"=\"2\"\r\n"
                   "[HKEY_CURRENT_USER\\Software\\Vantoria]\r\n\"Current\"=dword:00000003\r\n");
    const std::string before = ReadFileBytes(user);
    ASSERT_EQ(::chmod(user.c_str(), 0444), 0);
    Open();
    const char* desktop = "Control Panel\\Desktop";
    EXPECT_EQ(RegReadTextStrict(HKEY_CURRENT_USER, desktop, "WallpaperStyle"), "2");
    RegEnsureKey(HKEY_CURRENT_USER, desktop);
    RegWriteText(HKEY_CURRENT_USER, desktop, "TileWallpaper", "0");
    EXPECT_THROW(RegWriteInt(HKEY_CURRENT_USER, kKey, "Current", 4), EJclRegistryError);

    Open();
    EXPECT_EQ(RegReadTextStrict(HKEY_CURRENT_USER, desktop, "WallpaperStyle"), "2");
    EXPECT_EQ(RegReadTextStrict(HKEY_CURRENT_USER, desktop, "TileWallpaper"), "0");
    EXPECT_EQ(RegReadInt(HKEY_CURRENT_USER, kKey, "Current", 0), 3);
    EXPECT_EQ(ReadFileBytes(user), before);
    EXPECT_NE(ReadFileBytes(dir.Path() + "/config/vantoria/control-panel.reg")
                  .find("\"TileWallpaper\"=\"0\""),
              std::string::npos);
}

TEST_F(HiveFileStoreTest, RunningOutOfMemoryWhileReadingCountsAsDamage) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer reserves address space beyond any limit";
#else
    // One value of 8 MB written over many lines: reading it takes some tens
    // of megabytes, more than the child below is allowed.
    std::filesystem::create_directories(dir.Path() + "/config/vantoria");
    std::string text = "REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\Vantoria]\r\n\"Big\"=hex:00";
    for (int i = 1; i < (8 << 20); ++i) {
        text += i % 25 == 0 ? ",\\\r\n  00" : ",00";
    }
    WriteFileBytes(user, text + "\r\n");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        long pages = 0;
        if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
            pages = std::fscanf(statm, "%ld", &pages) == 1 ? pages : 0;
            std::fclose(statm);
        }
        const rlimit limit{rlim_t(pages) * rlim_t(::sysconf(_SC_PAGESIZE)) + (32u << 20),
                           RLIM_INFINITY};
        ::setrlimit(RLIMIT_AS, &limit);
        THiveFileStore store(user, dir.File("machine.reg"));
        const bool damaged =
            !store.KeyReadable(HKEY_CURRENT_USER, kKey) && store.File(HKEY_CURRENT_USER).Damaged();
        ::_exit(damaged ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
#endif
}

}  // namespace

// Another user who can write where the settings live gets nothing of them:
// a folder of theirs is neither read nor written, a folder reached through a
// link is refused, and links planted where temporaries used to be named are
// never followed. A link at the settings file itself (dotfiles) is written
// through and stays a link.
TEST_F(HiveFileStoreTest, AnotherUsersFolderAndPlantedLinksAreRefused) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "making a folder of another user needs root";
    }
    const std::string folder = dir.Path() + "/config/vantoria";
    const std::string victim = dir.File("victim");
    WriteFileBytes(victim, "the user's own file");
    const std::string elsewhere = dir.Path() + "/elsewhere";
    std::filesystem::create_directories(elsewhere);
    const std::vector<std::pair<std::string, std::function<void()>>> plants{
        {"a folder of another user",
         [&] {
             std::filesystem::create_directories(folder);
             WriteFileBytes(user,
                            "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Vantoria]\n"
                            "\"Current\"=dword:00000007\n");
             ASSERT_EQ(::chown(folder.c_str(), 4242, 4242), 0);
         }},
        {"a folder reached through a link",
         [&] {
             std::filesystem::create_directories(dir.Path() + "/config");
             std::filesystem::create_directory_symlink(elsewhere, folder);
         }},
    };
    for (const auto& [what, plant] : plants) {
        std::filesystem::remove_all(dir.Path() + "/config");
        plant();
        Open();
        EXPECT_EQ(RegReadInt(HKEY_CURRENT_USER, kKey, "Current", 0), 0) << what;
        RegEnsureKey(HKEY_CURRENT_USER, kKey);
        EXPECT_FALSE(RegKeyPresent(HKEY_CURRENT_USER, kKey)) << what;
        EXPECT_FALSE(Exists(elsewhere + "/user.reg")) << what;
    }

    // Our own folder with links planted at the names temporaries once had.
    std::filesystem::remove_all(dir.Path() + "/config");
    std::filesystem::create_directories(folder);
    for (const char* name : {"user.reg", "control-panel.reg"}) {
        const std::string planted = folder + "/" + name + ".tmp." + std::to_string(::getpid());
        std::filesystem::create_symlink(victim, planted);
    }
    // The settings file itself a link into the user's dotfiles.
    const std::string dotfile = dir.File("dotfiles-user.reg");
    std::filesystem::create_symlink(dotfile, user);
    Open();
    RegEnsureKey(HKEY_CURRENT_USER, kKey);
    RegWriteInt(HKEY_CURRENT_USER, kKey, "Current", 5);
    RegEnsureKey(HKEY_CURRENT_USER, "Control Panel\\Desktop");
    RegWriteText(HKEY_CURRENT_USER, "Control Panel\\Desktop", "WallpaperStyle", "2");
    EXPECT_EQ(ReadFileBytes(victim), "the user's own file");
    EXPECT_TRUE(std::filesystem::is_symlink(user));
    EXPECT_NE(ReadFileBytes(dotfile).find("\"Current\"=dword:00000005"), std::string::npos);
    EXPECT_TRUE(Exists(folder + "/control-panel.reg"));
}

// A damaged settings file on a full disk: nothing can be written, and the
// file stays where it is (no playlist lost at the next start); once there is
// room the new file replaces it and the damaged one is kept aside once.
TEST_F(HiveFileStoreTest, DamagedFileOnAFullDiskStaysUntilTheNewOneIsWhole) {
    TSmallDisk disk(64 * 1024);
    if (!disk.Mounted()) {
        GTEST_SKIP() << disk.Why();
    }
    user = disk.Path() + "/vantoria/user.reg";
    std::filesystem::create_directories(disk.Path() + "/vantoria");
    const std::string junk = "\"Playlist\"=\"/home/me/list.vpl\" but no header";
    WriteFileBytes(user, junk);
    Open();
    disk.Fill();
    RegEnsureKey(HKEY_CURRENT_USER, kKey);
    EXPECT_FALSE(RegKeyPresent(HKEY_CURRENT_USER, kKey));
    EXPECT_EQ(ReadFileBytes(user), junk);

    disk.Free();
    RegEnsureKey(HKEY_CURRENT_USER, kKey);
    RegWriteInt(HKEY_CURRENT_USER, kKey, "Current", 2);
    EXPECT_EQ(RegReadInt(HKEY_CURRENT_USER, kKey, "Current", 0), 2);
    EXPECT_EQ(ReadFileBytes(user + ".bad"), junk);
    EXPECT_FALSE(Exists(user + ".bad.1"));
}
