// Times the wallpaper composer against ImageMagick and libvips doing the same
// Lanczos resize of a 24 MP photograph into an uncompressed bitmap, every
// side a whole process: the composer runs as a child of this program
// (`bench_composer --compose ...`), the peers as their own programs, all of
// them alternated run by run (ours, convert, vipsthumbnail, vips resize, ours
// ...). Each writes a bitmap: the composer and ImageMagick a BMP, libvips a
// binary PPM through its own writer. CPU (user + system), wall and peak
// memory are printed as median and minimum, with ours / the peer's median.
// BENCH_RUNS sets the number of runs (default 5).

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
        "Composing a 24 MP JPEG (%dx%d, %.1f MB) into a bitmap; whole processes, "
        "alternated, %d runs after one warm-up.\n\n",
        width, height, std::filesystem::file_size(source) / 1e6, runs);
    const TScreenSize displays[] = {{1920, 1080, 32}, {3840, 2160, 32}};
    const char* modeNames[] = {"stretch", "letter box", "zoom"};
    const std::string self = SelfPath();
    const std::string out = dir + "/vantoria.bmp";
    const bool magick = Installed("/usr/bin/convert");
    const bool vips = Installed("/usr/bin/vips") && Installed("/usr/bin/vipsthumbnail");
    if (!magick)
        std::printf("(ImageMagick is not installed: no convert rows)\n");
    if (!vips)
        std::printf("(libvips-tools is not installed: no vips rows)\n");
    for (const TScreenSize& display : displays) {
        for (int mode = 0; mode < 3; ++mode) {
            const TComposePlan plan =
                PlanComposition(mode, {width, height}, {display.width, display.height});
            const std::string size =
                std::to_string(plan.scaled.width) + "x" + std::to_string(plan.scaled.height);
            char scale[32], vscale[32];
            std::snprintf(scale, sizeof scale, "%.6f",
                          static_cast<double>(plan.scaled.width) / width);
            std::snprintf(vscale, sizeof vscale, "%.6f",
                          static_cast<double>(plan.scaled.height) / height);
            auto run = [](std::vector<std::string> argv) {
                return [argv] { return RunOnce(TChildOptions{argv, {}, "/dev/null"}, 120); };
            };
            std::vector<TSide> sides{
                {"vantoria composer -> BMP",
                 run({self, "--compose", source, std::to_string(mode),
                      std::to_string(display.width), std::to_string(display.height), out})}};
            if (magick)
                sides.push_back({"convert -filter Lanczos -> BMP",
                                 run({"/usr/bin/convert", source, "-filter", "Lanczos", "-resize",
                                      size + "!", "BMP3:" + dir + "/magick.bmp"})});
            if (vips) {
                sides.push_back(
                    {"vipsthumbnail -> PPM", run({"/usr/bin/vipsthumbnail", source, "--size",
                                                  size + "!", "-o", dir + "/thumb.ppm"})});
                sides.push_back({"vips resize lanczos3 -> PPM",
                                 run({"/usr/bin/vips", "resize", source, dir + "/resize.ppm", scale,
                                      "--vscale", vscale, "--kernel", "lanczos3"})});
            }
            Compare(std::string(modeNames[mode]) + " for " + std::to_string(display.width) + "x" +
                        std::to_string(display.height) + " (" + size + ")",
                    sides, runs);
        }
    }
    std::filesystem::remove_all(dir);
    return 0;
}
