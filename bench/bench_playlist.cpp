// Playlist editing at scale: importing a big folder into a big list, loading
// a big playlist file, opening the editor on it and scrolling its list.
// Prints milliseconds per operation; the duplicate check is also timed
// against a plain scan of the list, its peer.
#include <sys/stat.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QListView>
#include <QScrollBar>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/MessageService.h"
#include "playlist/PlaylistFile.h"
#include "playlist/frm_PlayList.h"

namespace {

class TPrintingMessages : public TMessageService {
public:
    void ShowError(const std::string& t) override { std::printf("  error: %s\n", t.c_str()); }
    void ShowWarning(const std::string& t) override { std::printf("  warning: %s\n", t.c_str()); }
    void ReportException(const std::string& t) override {
        std::printf("  report: %s\n", t.c_str());
    }
};

std::vector<std::string> Paths(const std::string& folder, int n, const char* ext) {
    std::vector<std::string> out;
    out.reserve(std::size_t(n));
    for (int i = 0; i < n; ++i) {
        out.push_back(folder + "/Picture " + std::to_string(i) + ext);
    }
    return out;
}

double Ms(const QElapsedTimer& t) {
    return double(t.nsecsElapsed()) / 1e6;
}

// The duplicate check as a scan of the whole list for every added file.
std::size_t NaiveAdd(std::vector<std::string>& list, const std::vector<std::string>& add) {
    const auto lower = [](std::string s) {
        for (char& c : s)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    std::size_t added = 0;
    for (const auto& p : add) {
        const std::string key = lower(p);
        bool found = false;
        for (const auto& e : list) {
            if (lower(e) == key) {
                found = true;
                break;
            }
        }
        if (!found) {
            list.push_back(p);
            ++added;
        }
    }
    return added;
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QApplication app(argc, argv);
    TPrintingMessages messages;

    char tmpl[] = "/tmp/vantoria-bench-XXXXXX";
    const std::string root = ::mkdtemp(tmpl);
    const std::string folder = root + "/images";
    ::mkdir(folder.c_str(), 0700);
    for (int i = 0; i < 10000; ++i) {
        std::ofstream(folder + "/img" + std::to_string(i) + (i % 3 == 0 ? ".png" : ".jpg")) << "x";
    }

    std::printf("bench_playlist\n");
    {
        TfrmList form(messages);
        form.SetEntries(Paths("/existing", 10000, ".jpg"));
        QElapsedTimer t;
        t.start();
        form.ImportFolder(folder);
        std::printf(
            "  import 10,000-file folder into 10,000 entries: %8.1f ms (%d masks, %d entries)\n",
            Ms(t), int(form.FMasks.size()), form.Model()->Count());
        t.restart();
        form.ImportFolder(folder);
        std::printf("  same folder again (all duplicates):            %8.1f ms\n", Ms(t));
    }
    {
        // The duplicate check alone: 10,000 additions to 10,000 entries.
        const auto existing = Paths("/existing", 10000, ".jpg");
        const auto added = Paths("/new", 10000, ".JPG");
        TPlaylistModel model;
        model.SetEntries(existing);
        QElapsedTimer t;
        t.start();
        model.AddEntries(added);
        const double indexed = Ms(t);
        std::vector<std::string> list = existing;
        t.restart();
        NaiveAdd(list, added);
        const double naive = Ms(t);
        std::printf("  10,000 AddEntry on 10,000: indexed %8.1f ms, full scan %8.1f ms (x%.0f)\n",
                    indexed, naive, naive / std::max(indexed, 0.001));
    }
    const std::string big = root + "/big.vpl";
    WritePlaylistFile(big, Paths("/home/someone/Pictures/Holidays", 100000, ".jpg"));
    {
        TfrmList form(messages);
        QElapsedTimer t;
        t.start();
        form.LoadPlayListFile(big);
        std::printf("  load 100,000-entry playlist into the editor:   %8.1f ms\n", Ms(t));
        t.restart();
        form.SavePlayListFile(big);
        std::printf("  save 100,000-entry playlist:                   %8.1f ms\n", Ms(t));
    }
    {
        const auto entries = Paths("/home/someone/Pictures/Holidays", 100000, ".jpg");
        QElapsedTimer t;
        t.start();
        TfrmList form(messages);
        form.SetEntries(entries);
        form.SetFileName(big);
        form.show();
        QApplication::processEvents();
        form.PlayList->viewport()->repaint();
        std::printf("  open the editor with 100,000 entries:          %8.1f ms\n", Ms(t));

        QScrollBar* bar = form.PlayList->verticalScrollBar();
        const int frames = 500;
        t.restart();
        for (int i = 0; i < frames; ++i) {
            bar->setValue(bar->maximum() * i / frames);
            form.PlayList->viewport()->repaint();
        }
        std::printf("  scroll frame (move + repaint), %d frames:     %8.3f ms each\n", frames,
                    Ms(t) / frames);
        t.restart();
        form.done(QDialog::Accepted);
        const auto back = form.Entries();
        std::printf("  close and hand 100,000 entries back:           %8.1f ms\n", Ms(t));
    }
    std::filesystem::remove_all(root);
    return 0;
}
