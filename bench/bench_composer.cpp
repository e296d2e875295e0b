// The file road: the picture a desktop that takes a file (GNOME, KDE, XFCE...)
// is handed, one screen-sized bitmap with the bands of the mode, written by
// the program's composer and file sink, against ImageMagick and libvips
// writing the same full-screen picture from the same 24 MP photograph: the
// photograph resized with Lanczos to the size the mode gives it, then centred
// on a black screen-sized canvas (bands for letter box, cut for zoom). Every
// side is a whole process: the composer runs as a child of this program
// (`bench_composer --compose ...`); ImageMagick is one `convert` writing a
// BMP; libvips is `vips thumbnail` (shrink on load, Lanczos3) into its own
// uncompressed format, then `vips gravity` writing a binary PPM, both in one
// `sh -c` whose children are counted. All are alternated run by run; CPU
// (user + system), wall and peak memory are printed as median and minimum,
// with ours / the peer's median. BENCH_RUNS sets the number of runs
// (default 1).

#include <FreeImage.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchPhoto.h"
#include "BenchProcess.h"
#include "platform/ScreenInfo.h"
#include "wallpaper/ComposeGeometry.h"
#include "wallpaper/Composer.h"

namespace {

std::string SelfPath() {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string("bench_composer") : self.string();
}

// The child's side: one composition, as the program does it.
int ComposeOnce(char** argv) {
    const TComposeRequest request{argv[2],
                                  static_cast<TFitMode>(std::atoi(argv[3])),
                                  dpCenter,
                                  0,
                                  {{"", 0, 0, std::atoi(argv[4]), std::atoi(argv[5]), true}},
                                  32};
    return Compose(request, TMonitorBitmaps{{argv[6]}}) ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 7 && std::string(argv[1]) == "--compose") {
        return ComposeOnce(argv);
    }
    using namespace bench;
    KillChildrenOnSignals();
    const int runs = RunsWanted();
    char pattern[] = "/tmp/vantoria-bench-XXXXXX";
    if (!::mkdtemp(pattern))
        return 1;
    const std::string dir = pattern;
    const std::string source = dir + "/photo24.jpg";
    const int width = 6000, height = 4000;
    if (!MakePhoto(source, width, height, false, FIF_JPEG, 90)) {
        std::fprintf(stderr, "cannot write %s\n", source.c_str());
        return 1;
    }
    std::printf(
        "The file road: a 24 MP JPEG (%dx%d, %.1f MB) into a screen-sized bitmap; whole processes, "
        "alternated, %d runs per row after one warm-up round.\n\n",
        width, height, std::filesystem::file_size(source) / 1e6, runs);
    const TScreenSize displays[] = {{1920, 1080, 32}, {3840, 2160, 32}};
    const char* modeNames[] = {"stretch", "letter box", "zoom"};
    const std::string self = SelfPath();
    const std::string out = dir + "/vantoria.bmp";
    const bool magick = Installed("/usr/bin/convert");
    const bool vips = Installed("/usr/bin/vips");
    if (!magick)
        std::printf("(ImageMagick is not installed: no convert rows)\n");
    if (!vips)
        std::printf("(libvips-tools is not installed: no vips rows)\n");
    bool warmUp = true;  // the first row's warm-up round fills the page cache for all
    for (const TScreenSize& display : displays) {
        for (int mode = 0; mode < 3; ++mode) {
            const TComposePlan plan =
                PlanComposition(mode, {width, height}, {display.width, display.height});
            const std::string w = std::to_string(display.width);
            const std::string h = std::to_string(display.height);
            const std::string screen = w + "x" + h;
            const std::string size =
                std::to_string(plan.scaled.width) + "x" + std::to_string(plan.scaled.height);
            auto run = [](std::vector<std::string> argv) {
                return [argv] { return RunOnce(TChildOptions{argv, {}, "/dev/null"}, 120); };
            };
            std::vector<TSide> sides{
                {"vantoria composer + file sink -> BMP",
                 run({self, "--compose", source, std::to_string(mode), w, h, out})}};
            if (magick)
                sides.push_back({"convert Lanczos, -extent -> BMP",
                                 run({"/usr/bin/convert", source, "-filter", "Lanczos", "-resize",
                                      size + "!", "-background", "black", "-gravity", "center",
                                      "-extent", screen, "BMP3:" + dir + "/magick.bmp"})});
            if (vips)
                // The paths are this bench's own, handed as arguments, never
                // spliced into the script.
                sides.push_back(
                    {"vips thumbnail + gravity -> PPM",
                     run({"/bin/sh", "-c",
                          "/usr/bin/vips thumbnail \"$1\" \"$2\" \"$3\" --height \"$4\" --size "
                          "force && /usr/bin/vips gravity \"$2\" \"$5\" centre \"$6\" \"$7\" "
                          "--extend black",
                          "sh", source, dir + "/thumb.v", std::to_string(plan.scaled.width),
                          std::to_string(plan.scaled.height), dir + "/vips.ppm", w, h})});
            Compare("File road, " + std::string(modeNames[mode]) + " at " + screen + " (photo " +
                        size + " on the screen)",
                    sides, runs, warmUp);
            warmUp = false;
        }
    }
    std::filesystem::remove_all(dir);
    return 0;
}
