// The real program controlled from outside: `vantoria --next` and the other
// command options against a running instance and against none, callers that
// send garbage over its socket, and where the instance keeps its lock and
// socket when the session has no private runtime folder.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QImage>
#include <QProcess>
#include <QThread>
#include <filesystem>

#include "support/InstanceSocket.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

struct TRun {
    int status = -1;
    std::string out, err;
};

class RemoteControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (Env("DISPLAY").empty() || Env("XDG_RUNTIME_DIR").empty()) {
            GTEST_SKIP() << "needs tests/support/harness (a private display and runtime folder)";
        }
        exe = QString::fromStdString(Env("VANTORIA_BINARY_DIR") + "/vantoria");
        env = QProcessEnvironment::systemEnvironment();
        fs::remove_all(Env("XDG_CONFIG_HOME") + "/vantoria");
    }
    void TearDown() override {
        if (instance.state() != QProcess::NotRunning) {
            instance.kill();
            instance.waitForFinished(5000);
        }
    }
    // A playlist of three pictures and a slow show, so that only commands move it;
    // `more` adds lines to the settings.
    void WriteSettings(const std::string& more = {}) {
        std::string list;
        for (const char* name : {"one.png", "two.png", "three.png"}) {
            QImage picture(16, 12, QImage::Format_RGB32);
            picture.fill(Qt::darkCyan);
            ASSERT_TRUE(picture.save(QString::fromStdString(dir.File(name))));
            list += dir.File(name) + "\n";
        }
        WriteFileBytes(dir.File("show.vpl"), list);
        const std::string config = env.value("XDG_CONFIG_HOME").toStdString() + "/vantoria";
        fs::create_directories(config);
        WriteFileBytes(config + "/user.reg",
                       "Windows Registry Editor Version 5.00\r\n\r\n"
                       "[HKEY_CURRENT_USER\\Software\\Vantoria]\r\n"
                       "\"Playlist\"=\"" +
                           dir.File("show.vpl") +
                           "\"\r\n"
                           "\"ChangeTime\"=dword:00000e10\r\n\"Current\"=dword:00000000\r\n" +
                           more);
    }
    TRun Run(const QStringList& args) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(QString::fromStdString(dir.Path()));
        p.start(exe, args);
        EXPECT_TRUE(p.waitForFinished(40000)) << args.join(' ').toStdString();
        return {p.exitCode(), p.readAllStandardOutput().toStdString(),
                p.readAllStandardError().toStdString()};
    }
    // Starts the instance and waits until it answers on `socket`.
    bool StartInstance(const std::string& socket = InstanceSocketPath(),
                       QProcess::ProcessChannelMode channels = QProcess::ForwardedChannels) {
        instance.setProcessEnvironment(env);
        instance.setProcessChannelMode(channels);
        instance.start(exe, {});
        instance.waitForStarted(5000);
        for (int i = 0; i < 300 && instance.state() != QProcess::NotRunning; ++i) {
            if (const int fd = ConnectInstance(socket); fd >= 0) {
                ::close(fd);
                return true;
            }
            QThread::msleep(50);
        }
        return false;
    }
    std::string Status() {
        const TRun r = Run({"--status"});
        EXPECT_EQ(r.status, 0) << r.err;
        return r.out;
    }
    // What the instance answers to `bytes` sent over its socket.
    static std::string Exchange(const std::string& bytes) {
        const int fd = ConnectInstance();
        if (fd < 0)
            return "no connection";
        for (std::size_t done = 0; done < bytes.size();) {
            const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n <= 0)
                break;  // the instance stopped reading: fine
            done += std::size_t(n);
        }
        std::string answer;
        char buf[256];
        for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;)
            answer.append(buf, std::size_t(n));
        ::close(fd);
        return answer;
    }

    TTempDir dir;
    QString exe;
    QProcessEnvironment env;
    QProcess instance;
};

const QStringList kCommands{"--next",   "--previous", "--first", "--last",  "--play",   "--stop",
                            "--toggle", "--show",     "--hide",  "--reset", "--status", "--quit"};

TEST_F(RemoteControlTest, WithoutAnInstanceEveryCommandFailsAndStartsNone) {
    for (const QString& option : kCommands) {
        const TRun r = Run({option});
        EXPECT_EQ(r.status, 1) << option.toStdString();
        EXPECT_TRUE(r.out.empty());
        EXPECT_EQ(r.err, "vantoria: Vantoria is not running in this session\n");
    }
    EXPECT_FALSE(fs::exists(InstanceSocketPath())) << "a command started an instance";

    const TRun unknown = Run({"--dance"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("Usage: vantoria"), std::string::npos);
    EXPECT_EQ(Run({"--next", "--next"}).status, 2);
    for (const QStringList& wrong :
         {QStringList{"--add"}, QStringList{"--set"}, QStringList{"--set", "a.png", "b.png"},
          QStringList{"--add", "a.png", ""}}) {
        EXPECT_EQ(Run(wrong).status, 2) << wrong.join(' ').toStdString();
    }
    EXPECT_EQ(Run({"--add", "a.png"}).status, 1);
    const TRun help = Run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--toggle"), std::string::npos);
    EXPECT_EQ(Run({"--version"}).out, "vantoria 2.2.0\n");
}

TEST_F(RemoteControlTest, EachCommandActsOnTheRunningInstanceAndAnswers) {
    WriteSettings();
    ASSERT_TRUE(StartInstance());
    const std::string list = dir.File("show.vpl");
    EXPECT_EQ(Status(), "state=stopped\nentry=0\nfile=\nentries=3\nplaylist=" + list +
                            "\ninterval=3600\nwindow=shown\nshuffle=off\n");

    const auto entry = [this] {
        const std::string s = Status();
        const auto at = s.find("entry=");
        return s.substr(at + 6, s.find('\n', at) - at - 6);
    };
    const std::pair<const char*, const char*> moves[] = {
        {"--next", "2"}, {"--last", "3"}, {"--first", "1"}, {"--previous", "3"}, {"--next", "1"}};
    for (const auto& [option, expected] : moves) {
        EXPECT_EQ(Run({option}).status, 0) << option;
        EXPECT_EQ(entry(), expected) << option;
    }
    EXPECT_NE(Status().find("file=" + dir.File("one.png") + "\n"), std::string::npos);

    // Two callers at once: both are served, one after the other.
    QProcess a, b;
    for (QProcess* p : {&a, &b}) {
        p->setProcessEnvironment(env);
        p->start(exe, {"--next"});
    }
    for (QProcess* p : {&a, &b}) {
        ASSERT_TRUE(p->waitForFinished(40000));
        EXPECT_EQ(p->exitCode(), 0);
    }
    EXPECT_EQ(entry(), "3");

    const std::pair<const char*, const char*> states[] = {
        {"--play", "state=running"}, {"--play", "state=running"},    {"--stop", "state=stopped"},
        {"--stop", "state=stopped"}, {"--toggle", "state=running"},  {"--toggle", "state=stopped"},
        {"--show", "window=shown"},  {"--hide", "window=minimised"}, {"--show", "window=shown"}};
    for (const auto& [option, fact] : states) {
        EXPECT_EQ(Run({option}).status, 0) << option;
        EXPECT_NE(Status().find(std::string(fact) + "\n"), std::string::npos) << option;
    }
    // Shuffle: the choice is kept in the settings; a wrong one is a wrong option.
    EXPECT_EQ(Run({"--shuffle", "on"}).status, 0);
    EXPECT_NE(Status().find("shuffle=on\n"), std::string::npos);
    EXPECT_EQ(Run({"--shuffle", "sideways"}).status, 2);
    EXPECT_EQ(Run({"--next"}).status, 0);
    EXPECT_EQ(Run({"--reset"}).status, 0);
    EXPECT_EQ(entry(), "0");

    // --quit returns once the instance has ended in order.
    EXPECT_EQ(Run({"--quit"}).status, 0);
    ASSERT_TRUE(instance.waitForFinished(2000)) << "--quit returned before the end";
    EXPECT_EQ(instance.exitCode(), 0);
    const std::string reg = ReadFileBytes(Env("XDG_CONFIG_HOME") + "/vantoria/user.reg");
    EXPECT_NE(reg.find("\"Current\""), std::string::npos);
    EXPECT_NE(reg.find("\"Order\"=dword:00000001"), std::string::npos);
}

// A picture deleted while the program runs: the commands pass over it
// without a box that would hold their answer, and --status names the picture
// on the desktop.
TEST_F(RemoteControlTest, AMissingPictureIsPassedOverWithoutABox) {
    WriteSettings();
    ASSERT_TRUE(StartInstance());
    ASSERT_NE(Status().find("entries=3\n"), std::string::npos);  // loaded with all three
    fs::remove(dir.File("two.png"));
    for (const char* option : {"--first", "--next", "--next", "--next"}) {
        EXPECT_EQ(Run({option}).status, 0) << option;
    }
    const std::string s = Status();
    EXPECT_NE(s.find("entry=3\nfile=" + dir.File("three.png") + "\n"), std::string::npos) << s;
}

// A picture the desktop never gets (damaged): --next onto it answers 3 with
// the reason once the change has ended, and --status still names the
// picture on the desktop.
TEST_F(RemoteControlTest, ARefusedPictureIsAnsweredWithTheReasonAndNeverReportedShown) {
    WriteSettings();
    ASSERT_TRUE(StartInstance());
    const std::string whole = ReadFileBytes(dir.File("two.png"));
    WriteFileBytes(dir.File("two.png"), whole.substr(0, whole.size() - 20));
    EXPECT_EQ(Run({"--first"}).status, 0);
    const TRun refused = Run({"--next"});
    EXPECT_EQ(refused.status, 3);
    EXPECT_NE(refused.err.find(dir.File("two.png")), std::string::npos) << refused.err;
    const std::string s = Status();
    EXPECT_NE(s.find("entry=1\nfile=" + dir.File("one.png") + "\n"), std::string::npos) << s;
    EXPECT_EQ(Run({"--next"}).status, 0);
    EXPECT_NE(Status().find("entry=3\n"), std::string::npos);
}

// --add takes pictures and folders, relative to the caller's folder, and
// saves the list; --set shows a picture beside the list, and the next slide
// comes from the list again. Paths are bytes, whatever they hold.
TEST_F(RemoteControlTest, AddAndSetChangeTheRunningInstance) {
    WriteSettings();
    ASSERT_TRUE(StartInstance());
    fs::create_directory(dir.File("more"));
    const std::string odd = dir.File("more/od\xff d\x01.png");
    for (const std::string& path : {dir.File("more/a.png"), odd, dir.File("four.jpg")}) {
        QImage picture(8, 8, QImage::Format_RGB32);
        picture.fill(Qt::darkRed);
        ASSERT_TRUE(picture.save(QString::fromStdString(dir.File("made.png")), "PNG"));
        fs::rename(dir.File("made.png"), path);
    }
    WriteFileBytes(dir.File("more/notes.txt"), "no picture");
    WriteFileBytes(dir.File("notes.txt"), "no picture");

    const TRun added = Run({"--add", "more", "four.jpg", "notes.txt"});
    EXPECT_EQ(added.status, 0) << added.err;
    EXPECT_EQ(added.out, "3\n");
    EXPECT_EQ(added.err,
              "vantoria: --add: skipped: \"" + dir.File("notes.txt") + "\" is not a picture\n");
    std::string saved;
    for (const char* name : {"one.png", "two.png", "three.png", "more/a.png"})
        saved += dir.File(name) + "\r\n";
    EXPECT_EQ(ReadFileBytes(dir.File("show.vpl")),
              saved + odd + "\r\n" + dir.File("four.jpg") + "\r\n");
    EXPECT_NE(Status().find("entries=6\n"), std::string::npos);
    const TRun nothing = Run({"--add", "notes.txt", "gone.png"});
    EXPECT_EQ(nothing.status, 3);
    EXPECT_NE(nothing.err.find("nothing to add: \"" + dir.File("notes.txt") +
                               "\" is not a picture (and 1 more)"),
              std::string::npos)
        << nothing.err;

    EXPECT_EQ(Run({"--first"}).status, 0);
    // (A byte path through the socket as the client sends it: QProcess
    // would take the arguments for text.)
    EXPECT_EQ(Exchange("set +" + std::to_string(odd.size() + 1) + "\n" + odd + '\0'), "ok\n");
    std::string s = Status();
    EXPECT_NE(s.find("entry=0\nfile=" + dir.File("more/od\xff d\\x01.png") + "\nentries=6\n"),
              std::string::npos)
        << s;
    EXPECT_EQ(Run({"--next"}).status, 0);
    s = Status();
    EXPECT_NE(s.find("entry=2\nfile=" + dir.File("two.png") + "\n"), std::string::npos) << s;
    EXPECT_EQ(Run({"--set", "more"}).status, 3);
    EXPECT_EQ(Run({"--quit"}).status, 0);
}

// A fresh start names no playlist file yet: --add saves the list in a new
// file in the data folder, beside the one already there, and names it in the
// settings at once, so that even a start after a crash loads it.
TEST_F(RemoteControlTest, AddWithoutAPlaylistFileSavesANewOneInTheDataFolder) {
    const std::string data = dir.File("data/vantoria");
    env.insert("XDG_DATA_HOME", QString::fromStdString(dir.File("data")));
    fs::create_directories(data);
    WriteFileBytes(data + "/playlist.vpl", "/kept.png\r\n");
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(Qt::darkRed);
    ASSERT_TRUE(picture.save(QString::fromStdString(dir.File("a.png"))));
    ASSERT_TRUE(StartInstance());

    const TRun added = Run({"--add", "a.png"});
    EXPECT_EQ(added.status, 0) << added.err;
    EXPECT_EQ(added.out, "1\n");
    const std::string list = data + "/playlist-2.vpl";
    EXPECT_EQ(ReadFileBytes(list), dir.File("a.png") + "\r\n");
    EXPECT_EQ(ReadFileBytes(data + "/playlist.vpl"), "/kept.png\r\n");
    instance.kill();
    ASSERT_TRUE(instance.waitForFinished(5000));
    ASSERT_TRUE(StartInstance());
    const std::string s = Status();
    EXPECT_NE(s.find("entries=1\nplaylist=" + list + "\n"), std::string::npos) << s;
    EXPECT_EQ(Run({"--quit"}).status, 0);
}

TEST_F(RemoteControlTest, GarbageOnTheSocketLeavesTheInstanceRunningAndAnswering) {
    ASSERT_TRUE(StartInstance());
    // Idle callers, and one that never ends its line, hold no one else up.
    std::vector<int> idle;
    for (int i = 0; i < 20; ++i)
        idle.push_back(ConnectInstance());
    ASSERT_GE(idle.back(), 0);
    ASSERT_EQ(::write(idle.back(), "nex", 3), 3);

    EXPECT_EQ(Exchange(std::string(8 << 20, 'x')), "error request too long\n");
    EXPECT_EQ(Exchange(std::string("\0\xff\x01\x7fnext\n", 9)), "error unknown command\n");
    EXPECT_EQ(Exchange("dance\n"), "error unknown command\n");
    EXPECT_EQ(Exchange("next\nnext\n"), "error the playlist is empty\n");
    // Paths after a line: bounded in size and count, each ended, none empty.
    std::string many;
    for (int i = 0; i < 10001; ++i)
        many += std::string("/x\0", 3);
    const std::pair<std::string, std::string> requests[] = {
        {"add +99999999\n", "error request too long\n"},
        {std::string("add +3\nab\0xyz", 13),
         "error malformed request: more bytes than announced\n"},
        {std::string("add +4\na\0\0b", 11),
         "error malformed request: an argument without its end\n"},
        {std::string("add +3\na\0\0", 10), "error malformed request: an empty argument\n"},
        {"add +30003\n" + many, "error malformed request: too many arguments\n"},
        {std::string("next +2\na\0", 10), "error unknown command\n"},
        {"add\n", "error no path given\n"},
        {std::string("set +6\n/a\0/b\0", 13), "error one picture at a time\n"},
        {std::string("add +3\nab\0", 10), "error nothing to add: \"ab\" is not an absolute path\n"},
        {std::string("add +5\n/\xff\x01\n\0", 12),
         "error nothing to add: \"/\xff\\x01\\x0A\" does not exist\n"},
    };
    for (const auto& [request, answer] : requests) {
        EXPECT_EQ(Exchange(request), answer) << request.substr(0, 20);
    }
    EXPECT_EQ(Run({"--next"}).status, 3);
    EXPECT_EQ(Status().substr(0, 14), "state=stopped\n");
    for (int fd : idle)
        ::close(fd);
    EXPECT_EQ(instance.state(), QProcess::Running);
    EXPECT_EQ(Run({"--quit"}).status, 0);
}

// A command from outside does not run under a modal window the user has open
// (here About, opened with its key): it is refused with the reason, and runs
// once the window is closed.
TEST_F(RemoteControlTest, CommandsUnderAModalWindowAreRefusedWithTheReason) {
    WriteSettings();
    // Under a window manager, as a user has one: it gives the windows the keyboard.
    QProcess openbox;
    openbox.start(QStringLiteral("openbox"), {});
    ASSERT_TRUE(openbox.waitForStarted(5000));
    QThread::msleep(1000);
    ASSERT_TRUE(StartInstance());
    const auto xdotool = [](const QStringList& args) {
        return QProcess::execute(QStringLiteral("xdotool"), args);
    };
    ASSERT_EQ(xdotool({"search", "--sync", "--onlyvisible", "--name", "^Vantoria$",
                       "windowactivate", "--sync", "key", "ctrl+a"}),
              0);
    ASSERT_EQ(xdotool({"search", "--sync", "--onlyvisible", "--name", "^About Vantoria"}), 0);
    const TRun refused = Run({"--play"});
    EXPECT_EQ(refused.status, 3);
    EXPECT_NE(refused.err.find("\"About Vantoria...\" is open"), std::string::npos) << refused.err;
    EXPECT_EQ(Status().substr(0, 14), "state=stopped\n");

    xdotool({"search", "--onlyvisible", "--name", "^About Vantoria", "windowactivate", "--sync",
             "key", "Escape"});
    TRun played;
    for (int i = 0; i < 50 && (played = Run({"--play"})).status != 0; ++i)
        QThread::msleep(100);
    EXPECT_EQ(played.status, 0) << played.err;
    EXPECT_EQ(Status().substr(0, 14), "state=running\n");
    EXPECT_EQ(Run({"--quit"}).status, 0);
    openbox.terminate();
    openbox.waitForFinished(5000);
}

TEST_F(RemoteControlTest, EachLogOnSessionHasItsOwnInstance) {
    // Two sessions of one user share the runtime folder, not the display.
    env.remove("DISPLAY");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_SESSION_ID", "a");
    ASSERT_TRUE(StartInstance(Env("XDG_RUNTIME_DIR") + "/vantoriamsg-a"));
    QProcess other;
    env.insert("XDG_SESSION_ID", "b");
    other.setProcessEnvironment(env);
    other.start(exe, {});
    ASSERT_TRUE(other.waitForStarted(5000));
    EXPECT_FALSE(other.waitForFinished(1500)) << "the second session got no instance";
    EXPECT_EQ(Run({"--quit"}).status, 0);
    ASSERT_TRUE(other.waitForFinished(5000));
    EXPECT_EQ(instance.state(), QProcess::Running) << "the other session's instance ended";
    env.insert("XDG_SESSION_ID", "a");
    EXPECT_EQ(Run({"--quit"}).status, 0);
}

// Without a private runtime folder the lock and the socket go to a private
// folder in the user's cache; a folder there that is a link, or that another
// user owns, keeps the program from starting rather than from being guarded.
TEST_F(RemoteControlTest, WithoutAPrivateRuntimeFolderThePrivateCacheFolderGuards) {
    TTempDir shared;
    ::chmod(shared.Path().c_str(), 0777);  // others can enter: not private
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(shared.Path()));
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    const std::string cache = Env("XDG_CACHE_HOME") + "/vantoria-" + host;
    const std::string socket = cache + "/vantoriamsg-" + Env("DISPLAY");

    ASSERT_TRUE(StartInstance(socket));
    struct stat st {};
    ASSERT_EQ(::lstat(cache.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_TRUE(fs::is_empty(shared.Path()));
    const TRun second = Run({});
    EXPECT_EQ(second.status, 0) << "a second instance ran";
    EXPECT_EQ(instance.state(), QProcess::Running);
    EXPECT_EQ(Status().substr(0, 14), "state=stopped\n");
    EXPECT_EQ(Run({"--quit"}).status, 0);
    ASSERT_TRUE(instance.waitForFinished(5000));

    fs::rename(cache, cache + ".real");
    fs::create_directory_symlink(cache + ".real", cache);
    TRun refused = Run({});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("symbolic link"), std::string::npos) << refused.err;
    fs::remove(cache);
    fs::rename(cache + ".real", cache);
    if (::getuid() == 0) {
        ASSERT_EQ(::chown(cache.c_str(), 65534, 65534), 0);
        refused = Run({});
        EXPECT_EQ(refused.status, 1);
        EXPECT_NE(refused.err.find("another user"), std::string::npos) << refused.err;
    }
}

}  // namespace

// Sixty callers at once are each answered; a --quit among as many is heard.
TEST_F(RemoteControlTest, SixtyCallersAtOnceAreAllAnsweredAndAQuitAmongThemIsHeard) {
    WriteSettings();
    ASSERT_TRUE(StartInstance());
    const auto crowd = [this](int quitAt) {
        std::vector<std::unique_ptr<QProcess>> callers;
        for (int i = 0; i < 60; ++i) {
            callers.push_back(std::make_unique<QProcess>());
            callers.back()->setProcessEnvironment(env);
            callers.back()->start(exe, {i == quitAt ? "--quit" : "--status"});
        }
        return callers;
    };
    for (const auto& p : crowd(-1)) {
        ASSERT_TRUE(p->waitForFinished(40000));
        EXPECT_EQ(p->exitCode(), 0) << p->readAllStandardError().toStdString();
    }
    const auto callers = crowd(30);
    for (const auto& p : callers) {
        ASSERT_TRUE(p->waitForFinished(70000));
        // Callers after the quit may find it ending or gone; none goes unanswered.
        EXPECT_EQ(p->readAllStandardError().toStdString().find("did not"), std::string::npos);
    }
    EXPECT_EQ(callers[30]->exitCode(), 0);
    ASSERT_TRUE(instance.waitForFinished(5000));
    EXPECT_EQ(instance.exitCode(), 0);
}

namespace {

// Whether the root advertises a setter's picture (the harness's desktop is
// the plain X root, which shows none of its own).
bool RootShowsAPicture() {
    QProcess xprop;
    xprop.start("xprop", {"-root", "_XROOTPMAP_ID"});
    xprop.waitForFinished(10000);
    return xprop.readAllStandardOutput().contains("pixmap id");
}

// A slide reaches the root from a thread of its own, after the command's answer.
bool RootComesToShow(bool picture) {
    for (int i = 0; i < 100 && RootShowsAPicture() != picture; ++i) {
        QThread::msleep(50);
    }
    return RootShowsAPicture() == picture;
}

}  // namespace

// A full data folder: the wallpaper in use cannot be recorded, so it is not
// changed, and the user is told why; the end has nothing to put back.
TEST_F(RemoteControlTest, FullDataFolderLeavesTheWallpaperAndSaysWhy) {
    TSmallDisk disk(64 * 1024);
    if (!disk.Mounted()) {
        GTEST_SKIP() << disk.Why();
    }
    env.insert("XDG_DATA_HOME", QString::fromStdString(disk.Path()));
    disk.Fill();
    WriteSettings("\"Autoplay\"=dword:00000002\r\n");
    ASSERT_TRUE(StartInstance(InstanceSocketPath(), QProcess::MergedChannels));
    // The slide shown at start is refused, and the refusal says why.
    const std::string refusal =
        "did not take the wallpaper: the wallpaper in use cannot be recorded";
    std::string log;
    for (int i = 0; i < 200 && log.find(refusal) == std::string::npos; ++i) {
        instance.waitForReadyRead(100);
        log += instance.readAll().toStdString();
    }
    EXPECT_NE(log.find(refusal), std::string::npos) << log;
    EXPECT_FALSE(RootShowsAPicture());
    EXPECT_EQ(Run({"--quit"}).status, 0);
    ASSERT_TRUE(instance.waitForFinished(5000));
    EXPECT_FALSE(RootShowsAPicture());
}

// Style values that cannot be written (a full settings disk) never keep the
// original from going back; --reset and --quit say so instead of "ok".
TEST_F(RemoteControlTest, UnwritableStyleValuesDoNotBlockTheRestoreAndAreReported) {
    TSmallDisk disk(64 * 1024);
    if (!disk.Mounted()) {
        GTEST_SKIP() << disk.Why();
    }
    env.insert("XDG_CONFIG_HOME", QString::fromStdString(disk.Path()));
    WriteSettings();
    // A value no style writes: every change and every restore must write it.
    WriteFileBytes(disk.Path() + "/vantoria/control-panel.reg",
                   "Windows Registry Editor Version 5.00\r\n\r\n"
                   "[HKEY_CURRENT_USER\\Control Panel\\Desktop]\r\n"
                   "\"TileWallpaper\"=\"7\"\r\n\"WallpaperStyle\"=\"0\"\r\n");
    disk.Fill();
    ASSERT_TRUE(StartInstance());
    EXPECT_EQ(Run({"--next"}).status, 0);
    EXPECT_TRUE(RootComesToShow(true));
    const TRun reset = Run({"--reset"});
    EXPECT_EQ(reset.status, 3);
    EXPECT_NE(reset.err.find("style values"), std::string::npos) << reset.err;
    EXPECT_FALSE(RootShowsAPicture());

    EXPECT_EQ(Run({"--next"}).status, 0);
    EXPECT_TRUE(RootComesToShow(true));
    const TRun quit = Run({"--quit"});
    EXPECT_EQ(quit.status, 3);
    EXPECT_NE(quit.err.find("style values"), std::string::npos) << quit.err;
    ASSERT_TRUE(instance.waitForFinished(5000));
    EXPECT_FALSE(RootShowsAPicture());
}
