#include "platform/linux/desktop/sway/SwayDesktopBackend.h"

#include "platform/linux/desktop/sway/SwayIpc.h"

#include <sys/stat.h>
#include <unistd.h>
#include <wordexp.h>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>

namespace {

constexpr std::uint32_t kRunCommand = kSwayRunCommand;
constexpr std::uint32_t kGetOutputs = kSwayGetOutputs;
constexpr std::uint32_t kGetConfig = kSwayGetConfig;

const char* const kModes[] = {"stretch", "center", "fill", "fit", "tile", "solid_color"};
const char kStateHeader[] = "sway-backgrounds";
// The desktop without a picture.
const char kNoPicture[] = "#000000 solid_color";

bool SameWord(const std::string& a, const char* b) {
    return strcasecmp(a.c_str(), b) == 0;
}

bool IsMode(const std::string& word) {
    return std::any_of(std::begin(kModes), std::end(kModes),
                       [&](const char* mode) { return SameWord(word, mode); });
}

const char* ModeOfPlacement(int placement) {
    switch (placement) {
        case dpTile:
            return "tile";
        case dpStretch:
            return "stretch";
        default:
            return "center";
    }
}

// Words as sway splits a command: at blanks outside quotes, a backslash
// escaping the next character. Each word keeps its quotes, as written.
std::vector<std::string> SplitWords(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    char quote = 0;
    bool escaped = false;
    for (const char c : text) {
        if (!quote && !escaped && (c == ' ' || c == '\t')) {
            if (inWord) {
                words.push_back(word);
                word.clear();
                inWord = false;
            }
            continue;
        }
        inWord = true;
        word += c;
        if (escaped) {
            escaped = false;
        } else if (c == '\\') {
            escaped = true;
        } else if (quote && c == quote) {
            quote = 0;
        } else if (!quote && (c == '"' || c == '\'')) {
            quote = c;
        }
    }
    if (inWord) {
        words.push_back(word);
    }
    return words;
}

// True when sway would cut `text` into several commands (";" or "," outside quotes).
bool SplitsCommand(const std::string& text) {
    char quote = 0;
    bool escaped = false;
    for (const char c : text) {
        if (escaped) {
            escaped = false;
        } else if (c == '\\') {
            escaped = true;
        } else if (quote) {
            quote = c == quote ? 0 : quote;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == ';' || c == ',' || c == '\n' || c == '\r') {
            return true;
        }
    }
    return false;
}

std::string Joined(const std::vector<std::string>& words, std::size_t from, std::size_t to) {
    std::string text;
    for (std::size_t i = from; i < to && i < words.size(); ++i) {
        text += (text.empty() ? "" : " ") + words[i];
    }
    return text;
}

std::string Unquoted(const std::string& word) {
    std::string text;
    char quote = 0;
    bool escaped = false;
    for (const char c : word) {
        if (escaped) {
            escaped = false;
        } else if (c == '\\') {
            escaped = true;
        } else if (quote ? c == quote : (c == '"' || c == '\'')) {
            quote = quote ? 0 : c;
            continue;
        }
        text += c;
    }
    return text;
}

// The file named by a "bg" setting's words before its mode, as sway reads it:
// variables replaced, quotes removed, then shell word expansion without
// command substitution (which is never run here).
std::string ExpandedFile(const std::string& text, const std::map<std::string, std::string>& vars) {
    std::string replaced = text;
    // Longer names first, so that $pic2 is not taken for $pic.
    std::vector<std::pair<std::string, std::string>> byLength(vars.begin(), vars.end());
    std::sort(byLength.begin(), byLength.end(),
              [](const auto& a, const auto& b) { return a.first.size() > b.first.size(); });
    for (const auto& [name, value] : byLength) {
        for (std::size_t at = replaced.find(name); at != std::string::npos;
             at = replaced.find(name, at + value.size())) {
            replaced.replace(at, name.size(), value);
        }
    }
    // sway removes the quotes, then expands the words and joins them again.
    const std::string unquoted = Unquoted(replaced);
    wordexp_t words{};
    std::string file = unquoted;
    if (wordexp(unquoted.c_str(), &words, WRDE_NOCMD) == 0 && words.we_wordc > 0) {
        file.clear();
        for (std::size_t i = 0; i < words.we_wordc; ++i) {
            file += (i ? " " : "") + std::string(words.we_wordv[i]);
        }
    }
    wordfree(&words);
    return file;
}

std::string Percent(const std::string& bytes) {
    return QByteArray::fromStdString(bytes).toPercentEncoding().toStdString();
}

std::string Unpercent(const std::string& text) {
    return QByteArray::fromPercentEncoding(QByteArray::fromStdString(text)).toStdString();
}

}  // namespace

TSwayConfig ParseSwayConfig(const std::string& config) {
    TSwayConfig parsed;
    std::vector<TSwayBackground>& backgrounds = parsed.backgrounds;
    std::vector<std::string> blocks;  // the words opening each enclosing block
    std::string pending;
    std::size_t start = 0;
    while (start <= config.size()) {
        std::size_t end = config.find('\n', start);
        if (end == std::string::npos) {
            end = config.size();
        }
        std::string line = config.substr(start, end - start);
        start = end + 1;
        // A line ending in a backslash goes on in the next one.
        if (!line.empty() && line.back() == '\\') {
            line.pop_back();
            pending += line + " ";
            continue;
        }
        line = pending + line;
        pending.clear();
        std::vector<std::string> words = SplitWords(line);
        if (words.empty() || words[0][0] == '#') {
            continue;
        }
        if (words.size() == 1 && words[0] == "}") {
            if (!blocks.empty()) {
                blocks.pop_back();
            }
            continue;
        }
        std::vector<std::string> all;
        for (const std::string& opening : blocks) {
            const std::vector<std::string> prefix = SplitWords(opening);
            all.insert(all.end(), prefix.begin(), prefix.end());
        }
        if (words.back() == "{") {
            words.pop_back();
            blocks.push_back(Joined(words, 0, words.size()));
            continue;
        }
        all.insert(all.end(), words.begin(), words.end());
        if (all.size() >= 3 && SameWord(all[0], "set") && all[1].size() > 1 && all[1][0] == '$') {
            parsed.variables[all[1]] = Joined(all, 2, all.size());
            continue;
        }
        if (all.size() < 4 || !SameWord(all[0], "output")) {
            continue;
        }
        for (std::size_t bg = 2; bg + 2 < all.size(); ++bg) {
            if (!SameWord(all[bg], "bg") && !SameWord(all[bg], "background")) {
                continue;
            }
            std::size_t mode = bg + 2;
            while (mode < all.size() && !IsMode(all[mode])) {
                ++mode;
            }
            if (mode >= all.size()) {
                break;
            }
            std::size_t last = mode + 1;
            if (!SameWord(all[mode], "solid_color") && last < all.size() && !all[last].empty() &&
                all[last][0] == '#') {
                ++last;  // the colour around a fitted or centred picture
            }
            backgrounds.push_back({all[1], Joined(all, bg + 1, last)});
            break;
        }
    }
    return parsed;
}

std::string SwayBackgroundFile(const std::string& arguments,
                               const std::map<std::string, std::string>& variables) {
    const std::vector<std::string> words = SplitWords(arguments);
    std::size_t mode = 0;
    while (mode < words.size() && !IsMode(words[mode])) {
        ++mode;
    }
    if (mode < words.size() && SameWord(words[mode], "solid_color")) {
        return std::string();
    }
    return ExpandedFile(Joined(words, 0, mode), variables);
}

TSwayDesktopBackend::TSwayDesktopBackend(std::string socketPath,
                                         std::vector<std::string> linkFolders)
    : socketPath_(std::move(socketPath)), linkFolders_(std::move(linkFolders)) {}

bool TSwayDesktopBackend::IsPlainPath(const std::string& path) {
    return !path.empty() && std::all_of(path.begin(), path.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               (c != 0 && std::strchr("/._+-@=:%", c) != nullptr);
    });
}

std::optional<std::string> TSwayDesktopBackend::Request(std::uint32_t type,
                                                        const std::string& payload) {
    return SwayIpcRequest(socketPath_, type, payload, lastError_);
}

bool TSwayDesktopBackend::RunCommand(const std::string& command) {
    const std::optional<std::string> reply = Request(kRunCommand, command);
    if (!reply) {
        return false;
    }
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(*reply));
    if (!document.isArray() || document.array().isEmpty()) {
        lastError_ = "sway gave an answer that cannot be read";
        return false;
    }
    for (const QJsonValue& result : document.array()) {
        if (!result.toObject().value(QStringLiteral("success")).toBool()) {
            lastError_ = "sway refused the background: " +
                         result.toObject().value(QStringLiteral("error")).toString().toStdString();
            return false;
        }
    }
    return true;
}

std::optional<TSwayConfig> TSwayDesktopBackend::Configuration() {
    const std::optional<std::string> reply = Request(kGetConfig, std::string());
    if (!reply) {
        return std::nullopt;
    }
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(*reply));
    const QJsonValue config = document.object().value(QStringLiteral("config"));
    if (!config.isString()) {
        lastError_ = "sway did not report its configuration";
        return std::nullopt;
    }
    return ParseSwayConfig(config.toString().toStdString());
}

// A name for `file` that sway takes as it stands: the file's own, or a link.
std::optional<std::string> TSwayDesktopBackend::PlainName(const std::string& file,
                                                          std::size_t slot) {
    std::error_code ec;
    const std::string absolute = std::filesystem::absolute(file, ec).string();
    if (ec) {
        lastError_ = "the wallpaper file cannot be found: " + ec.message();
        return std::nullopt;
    }
    if (IsPlainPath(absolute)) {
        return absolute;
    }
    for (const std::string& folder : linkFolders_) {
        if (folder.empty() || folder[0] != '/' || !IsPlainPath(folder)) {
            continue;
        }
        std::filesystem::create_directories(folder, ec);
        struct stat info {};
        // Only a folder of this user's own that nobody else can write.
        if (lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
            info.st_uid != geteuid() || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
            continue;
        }
        // Two names in turn: the swaybg still showing one may be reading it.
        const std::string name =
            slot == 0 ? "/sway-wallpaper-" : "/sway-wallpaper-" + std::to_string(slot) + "-";
        const std::string link = folder + name + (links_[slot]++ % 2 == 0 ? "1" : "2");
        unlink(link.c_str());
        if (symlink(absolute.c_str(), link.c_str()) == 0) {
            return link;
        }
    }
    lastError_ =
        "the wallpaper path holds characters sway would interpret, "
        "and no private folder for a link to it was found";
    return std::nullopt;
}

bool TSwayDesktopBackend::SetPlacement(TDesktopPlacement placement) {
    if (placement == dpCenter || placement == dpTile || placement == dpStretch) {
        placement_ = placement;
    }
    return true;
}

bool TSwayDesktopBackend::SetWallpaperFile(const std::string& file, bool) {
    std::string arguments = kNoPicture;
    if (!file.empty()) {
        const std::optional<std::string> name = PlainName(file);
        if (!name) {
            return false;
        }
        arguments = *name + " " + ModeOfPlacement(placement_);
    }
    if (!RunCommand("output * bg " + arguments)) {
        return false;
    }
    changed_ = true;
    shownFile_ = file;
    shownPlacement_ = placement_;
    return true;
}

std::string TSwayDesktopBackend::OutputAt(const TMonitor& monitor) {
    const std::optional<std::string> reply = Request(kGetOutputs, std::string());
    if (!reply) {
        return monitor.name;
    }
    // Under XWayland the monitors carry XWayland's names (XWAYLAND0...),
    // which sway would take as the configuration of an output it does not
    // have: such a monitor is sway's output at its place.
    std::string atPlace;
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(*reply));
    for (const QJsonValue& value : document.array()) {
        const QJsonObject output = value.toObject();
        const std::string name = output.value(QStringLiteral("name")).toString().toStdString();
        const QJsonObject rect = output.value(QStringLiteral("rect")).toObject();
        if (!monitor.name.empty() && name == monitor.name) {
            return name;
        }
        if (atPlace.empty() && rect.value(QStringLiteral("x")).toInt() == monitor.x &&
            rect.value(QStringLiteral("y")).toInt() == monitor.y) {
            atPlace = name;
        }
    }
    return atPlace.empty() ? monitor.name : atPlace;
}

bool TSwayDesktopBackend::SetMonitorWallpaperFiles(const std::vector<TMonitorFile>& files, bool) {
    if (files.empty()) {
        lastError_ = "no monitor to show a wallpaper on";
        return false;
    }
    // All commands are checked before the first is sent: a desk half changed
    // helps nobody.
    std::vector<std::string> commands;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string output = OutputAt(files[i].monitor);
        // An output's name goes to sway's parser as one plain word.
        if (output.empty() || !IsPlainPath(output) || output.find('/') != std::string::npos) {
            lastError_ = "sway has no output named \"" + files[i].monitor.name + "\"";
            return false;
        }
        std::string arguments = kNoPicture;
        if (!files[i].file.empty()) {
            const std::optional<std::string> name = PlainName(files[i].file, i);
            if (!name) {
                return false;
            }
            arguments = *name + " " + ModeOfPlacement(placement_);
        }
        commands.push_back("output " + output + " bg " + arguments);
    }
    bool ok = true;
    for (const std::string& command : commands) {
        ok = RunCommand(command) && ok;
    }
    if (ok) {
        changed_ = true;
        shownFile_ = files.front().file;
        shownPlacement_ = placement_;
    }
    return ok;
}

// sway tells only its configuration: until this program changes the
// background, the configured one for every output ("*") is the one shown.
std::optional<std::string> TSwayDesktopBackend::CurrentWallpaperFile() {
    if (changed_) {
        return shownFile_;
    }
    const std::optional<TSwayConfig> config = Configuration();
    if (!config) {
        return std::nullopt;
    }
    const TSwayBackground* shown = nullptr;
    for (const TSwayBackground& background : config->backgrounds) {
        if (!shown || background.output == "*" || background.output == "\"*\"") {
            shown = &background;
        }
    }
    return shown ? SwayBackgroundFile(shown->arguments, config->variables) : std::string();
}

std::optional<int> TSwayDesktopBackend::CurrentPlacement() {
    if (changed_) {
        return shownPlacement_;
    }
    const std::optional<TSwayConfig> config = Configuration();
    if (!config || config->backgrounds.empty()) {
        return std::nullopt;
    }
    const std::vector<std::string> words = SplitWords(config->backgrounds.back().arguments);
    for (const std::string& word : words) {
        if (SameWord(word, "center")) {
            return dpCenter;
        }
        if (SameWord(word, "tile")) {
            return dpTile;
        }
        if (SameWord(word, "stretch")) {
            return dpStretch;
        }
        if (IsMode(word)) {
            return dpOther;
        }
    }
    return dpOther;
}

// The configured backgrounds, one per line: output and arguments as written
// in the configuration, percent-encoded so that no byte can break a line.
std::string TSwayDesktopBackend::SaveState() {
    const std::optional<TSwayConfig> config = Configuration();
    if (!config) {
        return std::string();
    }
    std::string state = std::string(kStateHeader) + "\n";
    for (const TSwayBackground& background : config->backgrounds) {
        state += Percent(background.output) + "\t" + Percent(background.arguments) + "\n";
    }
    return state;
}

bool TSwayDesktopBackend::RestoreState(const std::string& state) {
    const std::string header = std::string(kStateHeader) + "\n";
    std::vector<std::string> commands;
    bool damaged = state.compare(0, header.size(), header) != 0;
    std::size_t start = header.size();
    while (!damaged && start < state.size()) {
        std::size_t end = state.find('\n', start);
        if (end == std::string::npos) {
            damaged = true;
            break;
        }
        const std::string line = state.substr(start, end - start);
        start = end + 1;
        const std::size_t tab = line.find('\t');
        if (tab == std::string::npos) {
            damaged = true;
            break;
        }
        const std::string output = Unpercent(line.substr(0, tab));
        const std::string arguments = Unpercent(line.substr(tab + 1));
        const std::string command = "output " + output + " bg " + arguments;
        // Each recorded line must stay one background command, as it was
        // in the configuration.
        if (output.empty() || arguments.empty() || SplitsCommand(command) ||
            SplitWords(output).size() != 1) {
            damaged = true;
            break;
        }
        commands.push_back(command);
    }
    if (damaged) {
        lastError_ = "the record of the sway background is damaged";
        return false;
    }
    // Every output is covered, those given a picture of their own since too:
    // what the configuration does not name shows no picture.
    if (commands.empty() || (commands.front().rfind("output * ", 0) != 0 &&
                             commands.front().rfind("output \"*\" ", 0) != 0)) {
        commands.insert(commands.begin(), std::string("output * bg ") + kNoPicture);
    }
    bool ok = true;
    for (const std::string& command : commands) {
        ok = RunCommand(command) && ok;
    }
    if (ok) {
        changed_ = false;
    }
    return ok;
}
