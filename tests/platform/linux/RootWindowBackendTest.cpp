// The plain X11 back-end against the harness's Xvfb: what the root window
// shows is read back with screenshots.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "ScreenShot.h"
#include "platform/linux/desktop/x11/RootWindowDesktopBackend.h"
#include "support/TempDir.h"

// Xlib last: its macros (None, Bool, Status) break the test framework's headers.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace {

using TPoints = std::vector<std::pair<int, int>>;
const TPoints kProbe{{0, 0}, {512, 384}, {1023, 767}, {100, 384}, {900, 384}};

int gErrors = 0;
int CountError(Display*, XErrorEvent*) {
    ++gErrors;
    return 0;
}

// The pixmap the root advertises, and whether a pixmap still exists.
unsigned long RootPixmap() {
    Display* d = XOpenDisplay(nullptr);
    Atom type;
    int format;
    unsigned long items, after;
    unsigned char* data = nullptr;
    unsigned long pixmap = 0;
    if (XGetWindowProperty(d, DefaultRootWindow(d), XInternAtom(d, "_XROOTPMAP_ID", False), 0, 1,
                           False, XA_PIXMAP, &type, &format, &items, &after, &data) == Success &&
        data && items == 1) {
        pixmap = *reinterpret_cast<unsigned long*>(data);
    }
    if (data) {
        XFree(data);
    }
    XCloseDisplay(d);
    return pixmap;
}

bool PixmapExists(unsigned long pixmap) {
    Display* d = XOpenDisplay(nullptr);
    XErrorHandler previous = XSetErrorHandler(CountError);
    gErrors = 0;
    Window root;
    int x, y;
    unsigned w, h, b, depth;
    const Status ok = XGetGeometry(d, pixmap, &root, &x, &y, &w, &h, &b, &depth);
    XSync(d, False);
    XSetErrorHandler(previous);
    XCloseDisplay(d);
    return ok && gErrors == 0;
}

class RootWindowBackendTest : public ::testing::Test {
protected:
    // A session keeps clients connected (the window manager, a panel). With
    // none, the X server resets when a setter disconnects, and the root
    // loses its picture and properties.
    static void SetUpTestSuite() { session = XOpenDisplay(nullptr); }
    static void TearDownTestSuite() {
        if (session) {
            XCloseDisplay(session);
        }
    }
    static inline Display* session = nullptr;

    void SetUp() override {
        ASSERT_NE(session, nullptr);
        ASSERT_NE(getenv("DISPLAY"), nullptr) << "run inside the harness";
        // Red left half, blue right half: placements are told apart.
        ASSERT_TRUE(MakePicture(
            picture, {"-size", "32x24", "xc:red", "(", "-size", "32x24", "xc:blue", ")", "+append"},
            "BMP3:"));
        ASSERT_TRUE(MakePicture(dir.File("original.png"), {"-size", "16x16", "xc:#00ff00"}));
    }

    TTempDir dir;
    // Every byte a path may hold, except "/" and NUL.
    const std::string picture = dir.Path() + "/it's \"a\" \\b\n$(touch pwned) \xff.bmp";
};

}  // namespace

TEST_F(RootWindowBackendTest, PaintsEachPlacementAndFreesThePreviousPixmap) {
    TRootWindowDesktopBackend x11(getenv("DISPLAY"), dir.Path());
    EXPECT_EQ(x11.CurrentWallpaperFile(), "");

    x11.SetPlacement(dpCenter);
    ASSERT_TRUE(x11.SetWallpaperFile(picture, false)) << x11.LastError();
    // 64x24 centred on 1024x768: red at 480..511, blue at 512..543.
    EXPECT_EQ(RootPixels(dir.Path(), {{0, 0}, {500, 384}, {530, 384}, {600, 384}}),
              (std::vector<std::string>{"000000", "FF0000", "0000FF", "000000"}));
    EXPECT_EQ(x11.CurrentWallpaperFile(), picture);
    const unsigned long first = RootPixmap();
    ASSERT_NE(first, 0u);

    x11.SetPlacement(dpTile);
    ASSERT_TRUE(x11.SetWallpaperFile(picture, false)) << x11.LastError();
    EXPECT_EQ(RootPixels(dir.Path(), {{0, 0}, {40, 0}, {64, 24}, {100, 30}}),
              (std::vector<std::string>{"FF0000", "0000FF", "FF0000", "0000FF"}));
    // The previous picture's pixmap is freed, not leaked in the server.
    EXPECT_FALSE(PixmapExists(first));
    EXPECT_TRUE(PixmapExists(RootPixmap()));

    x11.SetPlacement(dpStretch);
    ASSERT_TRUE(x11.SetWallpaperFile(picture, false)) << x11.LastError();
    EXPECT_EQ(RootPixels(dir.Path(), kProbe),
              (std::vector<std::string>{"FF0000", "0000FF", "0000FF", "FF0000", "0000FF"}));

    // No wallpaper: black, nothing advertised.
    ASSERT_TRUE(x11.SetWallpaperFile("", true));
    EXPECT_EQ(RootPixels(dir.Path(), {{0, 0}, {512, 384}}),
              (std::vector<std::string>{"000000", "000000"}));
    EXPECT_EQ(RootPixmap(), 0u);
    EXPECT_EQ(x11.CurrentWallpaperFile(), "");
}

TEST_F(RootWindowBackendTest, PutsBackTheFirstSettersPicture) {
    ASSERT_EQ(RunTool({"xwallpaper", "--tile", dir.File("original.png")}).exitCode, 0);
    const unsigned long original = RootPixmap();
    ASSERT_NE(original, 0u);
    TRootWindowDesktopBackend x11(getenv("DISPLAY"), dir.Path());
    EXPECT_EQ(x11.CurrentWallpaperFile(), "");  // another setter's: no file known
    const std::string state = x11.SaveState();
    ASSERT_EQ(state.rfind("pixmap\n", 0), 0u) << state;
    EXPECT_FALSE(std::filesystem::exists(x11.CopyPath())) << "no pixels leave the server";

    x11.SetPlacement(dpStretch);
    ASSERT_TRUE(x11.SetWallpaperFile(picture, false));
    EXPECT_EQ(RootPixels(dir.Path(), {{0, 0}})[0], "FF0000");
    EXPECT_TRUE(PixmapExists(original)) << "the setter's pixmap is kept, not freed";

    // The root points at the setter's own pixmap again; ours is freed.
    const unsigned long ours = RootPixmap();
    ASSERT_TRUE(x11.RestoreState(state)) << x11.LastError();
    EXPECT_EQ(RootPixmap(), original);
    EXPECT_FALSE(PixmapExists(ours));
    EXPECT_EQ(RootPixels(dir.Path(), kProbe), (std::vector<std::string>(kProbe.size(), "00FF00")));
    EXPECT_EQ(x11.CurrentWallpaperFile(), "");

    // The setter's pixmap gone meanwhile (a program freed its resources): a
    // later run from the record gets the copy kept in the server.
    ASSERT_TRUE(x11.SetWallpaperFile(picture, false));
    XKillClient(session, original);
    XSync(session, False);
    TRootWindowDesktopBackend later(getenv("DISPLAY"), dir.Path());
    ASSERT_TRUE(later.RestoreState(state)) << later.LastError();
    EXPECT_NE(RootPixmap(), original);
    EXPECT_EQ(RootPixels(dir.Path(), kProbe), (std::vector<std::string>(kProbe.size(), "00FF00")));
    later.DropState(state);
    EXPECT_TRUE(PixmapExists(RootPixmap())) << "the copy the root shows stays";

    // A damaged record is refused, not painted.
    EXPECT_FALSE(x11.RestoreState("copy\n" + dir.File("absent.ppm")));
    EXPECT_FALSE(x11.RestoreState("garbage"));
    EXPECT_FALSE(x11.RestoreState("pixmap\n12 34 0 0 00"));

    // A record of an earlier version names a copy of the pixels in a file.
    ASSERT_TRUE(
        MakePicture(dir.File("old.ppm"), {"-size", "16x16", "xc:#00ff00", "-depth", "8"}, "PPM:"));
    ASSERT_TRUE(x11.SetWallpaperFile(picture, false));
    ASSERT_TRUE(x11.RestoreState("copy\n" + dir.File("old.ppm"))) << x11.LastError();
    EXPECT_EQ(RootPixels(dir.Path(), kProbe), (std::vector<std::string>(kProbe.size(), "00FF00")));

    // A tampered record naming a device, a pipe or a copy whose header
    // promises more than the file holds costs no time: the root is left bare.
    ASSERT_EQ(::mkfifo(dir.File("pipe.ppm").c_str(), 0600), 0);
    WriteFileBytes(dir.File("short.ppm"), "P6\n30000 30000\n255\n\x01\x02\x03");
    for (const std::string& copy :
         std::vector<std::string>{"/dev/zero", dir.File("pipe.ppm"), dir.File("short.ppm")}) {
        ASSERT_TRUE(x11.SetWallpaperFile(picture, false));
        EXPECT_FALSE(x11.RestoreState("copy\n" + copy)) << copy;
        EXPECT_NE(x11.LastError().find("own background"), std::string::npos) << x11.LastError();
        EXPECT_EQ(RootPixmap(), 0u) << copy;
    }
}

TEST_F(RootWindowBackendTest, ASolidRootComesBackAndAStalePropertyIsPassedOver) {
    ASSERT_EQ(RunTool({"xsetroot", "-solid", "#336699"}).exitCode, 0);
    // Another tool's leftover: a picture property naming a pixmap long gone.
    const unsigned long gone = 0x1ffffe;
    XChangeProperty(session, DefaultRootWindow(session),
                    XInternAtom(session, "_XROOTPMAP_ID", False), XA_PIXMAP, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&gone), 1);
    XSync(session, False);
    TRootWindowDesktopBackend x11(getenv("DISPLAY"), dir.Path());
    const std::string state = x11.SaveState();
    EXPECT_EQ(state, "solid\n336699");
    ASSERT_TRUE(x11.SetWallpaperFile(picture, false));
    ASSERT_TRUE(x11.RestoreState(state)) << x11.LastError();
    EXPECT_EQ(RootPixels(dir.Path(), kProbe), (std::vector<std::string>(kProbe.size(), "336699")));
    EXPECT_EQ(RootPixmap(), 0u);
    EXPECT_FALSE(x11.RestoreState("solid\n33669"));
}

TEST_F(RootWindowBackendTest, UnreadableBitmapChangesNothing) {
    TRootWindowDesktopBackend x11(getenv("DISPLAY"), dir.Path());
    ASSERT_TRUE(x11.SetWallpaperFile(picture, false));
    const unsigned long before = RootPixmap();
    WriteFileBytes(dir.File("junk.bmp"), "not a picture");
    EXPECT_FALSE(x11.SetWallpaperFile(dir.File("junk.bmp"), false));
    EXPECT_FALSE(x11.LastError().empty());
    EXPECT_EQ(RootPixmap(), before);
    EXPECT_FALSE(std::filesystem::exists(dir.Path() + "/pwned"));
}

// A setter that advertises its pixmap and ends without keeping it leaves an
// id the server hands to the next client: that client's first window gets the
// very same id. A change must not kill it.
TEST_F(RootWindowBackendTest, StaleRootPixmapKillsNoInnocentClient) {
    Display* setter = XOpenDisplay(nullptr);
    ASSERT_NE(setter, nullptr);
    const Window root = DefaultRootWindow(setter);
    const Pixmap stale = XCreatePixmap(setter, root, 8, 8, DefaultDepth(setter, 0));
    for (const char* name : {"_XROOTPMAP_ID", "ESETROOT_PMAP_ID"}) {
        XChangeProperty(setter, root, XInternAtom(setter, name, False), XA_PIXMAP, 32,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(&stale), 1);
    }
    XCloseDisplay(setter);  // no RetainPermanent: the pixmap goes, the properties stay

    Display* innocent = XOpenDisplay(nullptr);
    ASSERT_NE(innocent, nullptr);
    const Window window = XCreateSimpleWindow(innocent, root, 0, 0, 8, 8, 0, 0, 0);
    XSync(innocent, False);
    ASSERT_EQ(window, stale) << "the server did not hand the id on; the case is not made";

    TRootWindowDesktopBackend x11(getenv("DISPLAY"), dir.Path());
    x11.SetPlacement(dpStretch);
    ASSERT_TRUE(x11.SetWallpaperFile(picture, false)) << x11.LastError();
    EXPECT_EQ(RootPixels(dir.Path(), {{0, 0}})[0], "FF0000");
    // The innocent client lives: its window is still there.
    XErrorHandler previous = XSetErrorHandler(CountError);
    gErrors = 0;
    XWindowAttributes attributes;
    EXPECT_NE(XGetWindowAttributes(session, window, &attributes), 0);
    XSync(session, False);
    XSetErrorHandler(previous);
    EXPECT_EQ(gErrors, 0);
    XCloseDisplay(innocent);
}
