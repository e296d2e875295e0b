// Times the wallpaper composer against ImageMagick and libvips doing the same
// Lanczos resize into a BMP, on photographs it makes itself.
//
// For every picture, display size and mode it prints the median wall time of
// the composer (and of its plain path, without shrinking while decoding), of
// `convert -filter Lanczos -resize`, `vipsthumbnail` and `vips resize
// --kernel lanczos3`, the ratio composer / fastest peer, and the peak resident
// memory of the composer's process and of the fastest peer's. The composer
// runs in a child process per row so that its peak is its own. Set
// VANTORIA_BENCH_RUNS to change the number of runs (default 5, peers 3).

#include <FreeImage.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/ScreenInfo.h"
#include "wallpaper/ComposeGeometry.h"
#include "wallpaper/Composer.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct TMeasure {
    double medianMs = -1;  // below 0: not run or failed
    long peakKb = 0;
};

double Median(std::vector<double> values) {
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// A photograph-like picture: soft gradients, waves of several sizes and
// sensor-like noise, so that JPEG files get a camera's size.
bool MakePhoto(const std::string& path, int width, int height, bool alpha, FREE_IMAGE_FORMAT format,
               int flags) {
    FIBITMAP* dib = FreeImage_Allocate(width, height, alpha ? 32 : 24);
    if (!dib)
        return false;
    const int bytes = alpha ? 4 : 3;
    std::uint32_t seed = 12345;
    for (int y = 0; y < height; ++y) {
        BYTE* line = FreeImage_GetScanLine(dib, height - 1 - y);
        const double fy = static_cast<double>(y) / height;
        for (int x = 0; x < width; ++x) {
            const double fx = static_cast<double>(x) / width;
            seed = seed * 1664525u + 1013904223u;
            const int noise = static_cast<int>((seed >> 24) % 13) - 6;
            const double coarse =
                std::sin(fx * 7.0 + std::cos(fy * 4.0)) * std::cos(fy * 6.0 - fx * 2.0);
            const double fine = std::sin(x * 0.09 + std::sin(y * 0.05) * 3.0) * std::cos(y * 0.07);
            auto clamp = [](double v) { return static_cast<BYTE>(std::clamp(v, 0.0, 255.0)); };
            BYTE* p = line + x * bytes;
            p[FI_RGBA_RED] = clamp(120 + 80 * coarse * fx + 30 * fine + 25 * fy + noise);
            p[FI_RGBA_GREEN] = clamp(70 + 110 * fy + 45 * coarse + 20 * fine + noise);
            p[FI_RGBA_BLUE] = clamp(190 - 140 * fx * fy + 35 * coarse - 15 * fine + noise);
            if (alpha)
                p[FI_RGBA_ALPHA] = static_cast<BYTE>(x < width / 8 ? 128 : 255);
        }
    }
    const bool saved = FreeImage_Save(format, dib, path.c_str(), flags);
    FreeImage_Unload(dib);
    return saved;
}

// Runs the composer `runs` times in a child process; its peak memory is the
// child's.
TMeasure TimeComposer(const std::string& source, int mode, TScreenSize display,
                      const std::string& out, bool shrink, int runs) {
    int fds[2];
    if (::pipe(fds) != 0)
        return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        TFixedScreenInfo screen(display);
        TComposeOptions options;
        options.shrinkOnLoad = shrink;
        std::vector<double> times;
        for (int i = 0; i < runs; ++i) {
            const auto start = Clock::now();
            const bool ok = ComposeWallpaper(source, mode, out, 0, screen, options);
            const double ms =
                std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            if (!ok)
                ::_exit(2);
            times.push_back(ms);
        }
        const double median = Median(times);
        if (::write(fds[1], &median, sizeof median) != sizeof median)
            ::_exit(3);
        ::_exit(0);
    }
    ::close(fds[1]);
    TMeasure measure;
    double median = -1;
    const bool read = ::read(fds[0], &median, sizeof median) == sizeof median;
    ::close(fds[0]);
    int status = 0;
    struct rusage usage {};
    ::wait4(pid, &status, 0, &usage);
    if (read && WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        measure.medianMs = median;
        measure.peakKb = usage.ru_maxrss;
    }
    return measure;
}

// Runs an external program `runs` times; the peak is the largest of its runs.
TMeasure TimeProgram(const std::vector<std::string>& argv, int runs) {
    if (::access(argv[0].c_str(), X_OK) != 0)
        return {};
    std::vector<double> times;
    TMeasure measure;
    for (int i = 0; i < runs; ++i) {
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        const auto start = Clock::now();
        pid_t pid = 0;
        const int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0)
            return {};
        int status = 0;
        struct rusage usage {};
        ::wait4(pid, &status, 0, &usage);
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            return {};
        times.push_back(ms);
        measure.peakKb = std::max(measure.peakKb, static_cast<long>(usage.ru_maxrss));
    }
    measure.medianMs = Median(times);
    return measure;
}

std::string Ms(const TMeasure& m) {
    char text[32];
    if (m.medianMs < 0)
        return "     -";
    std::snprintf(text, sizeof text, "%6.0f", m.medianMs);
    return text;
}

struct TPhoto {
    const char* label;
    const char* file;
    int width, height;
    bool alpha;
    FREE_IMAGE_FORMAT format;
    int flags;
};

}  // namespace

int main() {
    const char* runsText = std::getenv("VANTORIA_BENCH_RUNS");
    const int runs = runsText ? std::max(1, std::atoi(runsText)) : 5;
    const int peerRuns = std::max(1, (runs + 1) / 2);

    char pattern[] = "/tmp/vantoria-bench-XXXXXX";
    if (!::mkdtemp(pattern))
        return 1;
    const std::string dir = pattern;

    const TPhoto photos[] = {
        {"24 MP JPEG", "photo24.jpg", 6000, 4000, false, FIF_JPEG, 90},
        {"12 MP JPEG", "photo12.jpg", 4000, 3000, false, FIF_JPEG, 90},
        {"4K PNG+alpha", "alpha4k.png", 3840, 2160, true, FIF_PNG, PNG_Z_DEFAULT_COMPRESSION},
    };
    std::printf("Generating photographs in %s ...\n", dir.c_str());
    for (const TPhoto& p : photos) {
        const std::string path = dir + "/" + p.file;
        if (!MakePhoto(path, p.width, p.height, p.alpha, p.format, p.flags)) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
        std::printf("  %-13s %dx%d, %.1f MB\n", p.label, p.width, p.height,
                    std::filesystem::file_size(path) / 1e6);
    }

    const TScreenSize displays[] = {{1920, 1080, 32}, {3840, 2160, 32}};
    const char* modeNames[] = {"stretch", "letterbox", "zoom"};
    const std::string out = dir + "/vantoria.bmp";
    const std::string peerOut = dir + "/peer.bmp";

    std::printf(
        "\nMedian wall time in ms (composer %d runs, peers %d runs; \"plain\": the composer "
        "without shrinking while decoding; all of them may use every core).\n",
        runs, peerRuns);
    std::printf("%-13s %-9s %-9s %-9s %6s %6s | %6s %6s %6s | %6s | %8s %8s\n", "picture",
                "display", "mode", "size", "vant.", "plain", "magick", "vthumb", "vresiz", "ratio",
                "peak MB", "peer MB");
    double worstRatio = 0;
    for (const TPhoto& p : photos) {
        const std::string source = dir + "/" + p.file;
        for (const TScreenSize& display : displays) {
            for (int mode = 0; mode < 3; ++mode) {
                const TComposePlan plan =
                    PlanComposition(mode, {p.width, p.height}, {display.width, display.height});
                const std::string size =
                    std::to_string(plan.scaled.width) + "x" + std::to_string(plan.scaled.height);
                const TMeasure vantoria = TimeComposer(source, mode, display, out, true, runs);
                const TMeasure plain = TimeComposer(source, mode, display, out, false, runs);
                const TMeasure magick =
                    TimeProgram({"/usr/bin/convert", source, "-filter", "Lanczos", "-resize",
                                 size + "!", "BMP3:" + peerOut},
                                peerRuns);
                const TMeasure thumb = TimeProgram(
                    {"/usr/bin/vipsthumbnail", source, "--size", size + "!", "-o", peerOut},
                    peerRuns);
                char scale[64];
                std::snprintf(scale, sizeof scale, "%.6f",
                              static_cast<double>(plan.scaled.width) / p.width);
                char vscale[64];
                std::snprintf(vscale, sizeof vscale, "%.6f",
                              static_cast<double>(plan.scaled.height) / p.height);
                const TMeasure resize =
                    TimeProgram({"/usr/bin/vips", "resize", source, peerOut, scale, "--vscale",
                                 vscale, "--kernel", "lanczos3"},
                                peerRuns);
                const TMeasure* fastest = nullptr;
                for (const TMeasure* m : {&magick, &thumb, &resize}) {
                    if (m->medianMs >= 0 && (!fastest || m->medianMs < fastest->medianMs))
                        fastest = m;
                }
                char ratio[16] = "     -";
                if (fastest && vantoria.medianMs >= 0) {
                    const double r = vantoria.medianMs / fastest->medianMs;
                    worstRatio = std::max(worstRatio, r);
                    std::snprintf(ratio, sizeof ratio, "%6.2f", r);
                }
                std::printf(
                    "%-13s %-9s %-9s %-9s %s %s | %s %s %s | %s | %8.1f %8.1f\n", p.label,
                    (std::to_string(display.width) + "x" + std::to_string(display.height)).c_str(),
                    modeNames[mode], size.c_str(), Ms(vantoria).c_str(), Ms(plain).c_str(),
                    Ms(magick).c_str(), Ms(thumb).c_str(), Ms(resize).c_str(), ratio,
                    vantoria.peakKb / 1024.0, fastest ? fastest->peakKb / 1024.0 : 0.0);
                std::fflush(stdout);
            }
        }
    }
    std::printf("\nWorst ratio Vantoria / fastest peer: %.2f\n", worstRatio);
    std::filesystem::remove_all(dir);
    return 0;
}
