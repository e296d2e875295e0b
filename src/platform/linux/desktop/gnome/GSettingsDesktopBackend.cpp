// GIO comes first: its headers clash with Qt's keywords.
#include <gio/gio.h>

#include "platform/linux/desktop/gnome/GSettingsDesktopBackend.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>

namespace {

constexpr const char* kOptionsKey = "picture-options";

struct TGFree {
    void operator()(gchar* p) const { g_free(p); }
};
using TGString = std::unique_ptr<gchar, TGFree>;

struct TVariantUnref {
    void operator()(GVariant* v) const { g_variant_unref(v); }
};
using TVariant = std::unique_ptr<GVariant, TVariantUnref>;

const char* NickOfPlacement(int placement) {
    switch (placement) {
        case dpTile:
            return "wallpaper";
        case dpCenter:
            return "centered";
        case dpStretch:
            return "stretched";
        case dpSpan:
            return "spanned";  // one picture across the box around every monitor
        default:
            return nullptr;
    }
}

}  // namespace

TGSettingsFamily GnomeFamily() {
    return {"GNOME", "org.gnome.desktop.background", "picture-uri", true, "picture-uri-dark", true};
}

TGSettingsFamily CinnamonFamily() {
    return {"Cinnamon", "org.cinnamon.desktop.background", "picture-uri", true, "", true};
}

// MATE's desktop is not known to reload a picture whose name it already shows.
TGSettingsFamily MateFamily() {
    return {"MATE", "org.mate.background", "picture-filename", false, "", false};
}

TGSettingsDesktopBackend::TGSettingsDesktopBackend(TGSettingsFamily family)
    : family_(std::move(family)) {
    // g_settings_new aborts the process for a schema that is not installed.
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    GSettingsSchema* schema =
        source ? g_settings_schema_source_lookup(source, family_.schema.c_str(), TRUE) : nullptr;
    if (!schema) {
        lastError_ = "the settings schema " + family_.schema + " is not installed";
        return;
    }
    const bool complete = g_settings_schema_has_key(schema, family_.fileKey.c_str()) &&
                          g_settings_schema_has_key(schema, kOptionsKey);
    if (!family_.darkKey.empty() && !g_settings_schema_has_key(schema, family_.darkKey.c_str())) {
        family_.darkKey.clear();  // GNOME before 42
    }
    g_settings_schema_unref(schema);
    if (!complete) {
        lastError_ = "the settings schema " + family_.schema + " has no wallpaper keys";
        return;
    }
    settings_ = g_settings_new(family_.schema.c_str());
}

TGSettingsDesktopBackend::~TGSettingsDesktopBackend() {
    if (settings_) {
        g_settings_sync();
        g_object_unref(settings_);
    }
}

bool TGSettingsDesktopBackend::Ready() {
    return settings_ != nullptr;
}

bool TGSettingsDesktopBackend::HasKey(const std::string& key) const {
    GSettingsSchema* schema = nullptr;
    g_object_get(settings_, "settings-schema", &schema, nullptr);
    const bool has = schema && g_settings_schema_has_key(schema, key.c_str());
    if (schema) {
        g_settings_schema_unref(schema);
    }
    return has;
}

bool TGSettingsDesktopBackend::ChangesForbidden() {
    if (!Ready()) {
        return false;  // nothing is forbidden; the changes fail and say why
    }
    for (const std::string& key : {family_.fileKey, std::string(kOptionsKey)}) {
        if (!g_settings_is_writable(settings_, key.c_str())) {
            lastError_ = "the key " + key + " of " + family_.schema + " is locked";
            return true;
        }
    }
    return false;
}

TFileWallpaper* TGSettingsDesktopBackend::Files() {
    return family_.reloadsSameName ? static_cast<TFileWallpaper*>(this) : &fresh_;
}

TSpanningWallpaper* TGSettingsDesktopBackend::SpanningFile() {
    return family_.reloadsSameName ? static_cast<TSpanningWallpaper*>(this) : &fresh_;
}

bool TGSettingsDesktopBackend::SetSpanningWallpaperFile(const std::string& file, bool persist) {
    const bool placed = SetPlacement(dpSpan);
    const std::string placementError = lastError_;
    if (!SetWallpaperFile(file, persist)) {
        return false;
    }
    lastError_ = placementError;
    return placed;
}

bool TGSettingsDesktopBackend::SetPlacement(TDesktopPlacement placement) {
    if (!Ready()) {
        return false;
    }
    // GNOME draws a 'centered' picture at its logical size, twice as large at
    // scale 2; 'zoom' shows a bitmap of the monitor's size pixel for pixel at
    // every scale.
    const char* nick = placement == dpCenter && screenSized_ ? "zoom" : NickOfPlacement(placement);
    if (!nick) {
        return true;
    }
    if (!g_settings_set_string(settings_, kOptionsKey, nick)) {
        lastError_ =
            std::string("the key ") + kOptionsKey + " of " + family_.schema + " cannot be written";
        return false;
    }
    g_settings_sync();
    return true;
}

// GNOME Shell keeps every picture it has loaded, by file, for its whole life:
// a file rewritten while another picture was shown comes back as the old
// picture. A file replaced while it is shown is reloaded. So a picture that
// comes after another desktop picture (the original, a previous run's) is
// handed over under a name the shell has never seen, and the following
// changes replace that file while it is shown. Earlier ones go.
std::string TGSettingsDesktopBackend::ShownName(const std::string& file) {
    namespace fs = std::filesystem;
    if (file.empty() || !family_.reloadsSameName) {
        return file;
    }
    if (!shown_.empty() && file != shown_ && CurrentWallpaperFile() == shown_) {
        return HandOverUnder(file, shown_) ? shown_ : file;
    }
    const fs::path source(file);
    const std::string prefix = source.stem().string() + "-shown-";
    const auto stamp = std::chrono::duration_cast<std::chrono::microseconds>(
                           std::chrono::system_clock::now().time_since_epoch())
                           .count();
    const fs::path fresh =
        source.parent_path() / (prefix + std::to_string(stamp) + source.extension().string());
    if (!HandOverUnder(file, fresh.string())) {
        return file;
    }
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(source.parent_path(), ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(prefix, 0) == 0 && entry.path() != fresh) {
            fs::remove(entry.path(), ec);
        }
    }
    shown_ = fresh.string();
    return shown_;
}

bool TGSettingsDesktopBackend::SetWallpaperFile(const std::string& given, bool) {
    if (!Ready()) {
        return false;
    }
    const std::string file = ShownName(given);
    std::string value;
    if (!file.empty()) {
        if (family_.fileKeyIsUri) {
            GError* error = nullptr;
            TGString uri(g_filename_to_uri(file.c_str(), nullptr, &error));
            if (!uri) {
                lastError_ =
                    std::string("no file URI for the wallpaper: ") + (error ? error->message : "");
                g_clear_error(&error);
                return false;
            }
            value = uri.get();
        } else {
            value = file;
        }
    }
    // A plain path is stored as a GVariant string, which must be UTF-8.
    if (!g_utf8_validate(value.c_str(), static_cast<gssize>(value.size()), nullptr)) {
        lastError_ =
            "the wallpaper path is not valid UTF-8, which " + family_.schema + " cannot store";
        return false;
    }
    bool ok = g_settings_set_string(settings_, family_.fileKey.c_str(), value.c_str());
    // Dark-mode users see only the dark picture.
    if (ok && !family_.darkKey.empty()) {
        ok = g_settings_set_string(settings_, family_.darkKey.c_str(), value.c_str());
    }
    g_settings_sync();
    if (!ok) {
        lastError_ = "the key " + family_.fileKey + " of " + family_.schema + " cannot be written";
    }
    return ok;
}

std::optional<std::string> TGSettingsDesktopBackend::CurrentWallpaperFile() {
    if (!Ready()) {
        return std::nullopt;
    }
    TGString value(g_settings_get_string(settings_, family_.fileKey.c_str()));
    const std::string text = value ? value.get() : "";
    if (!family_.fileKeyIsUri || text.empty()) {
        return text;
    }
    TGString path(g_filename_from_uri(text.c_str(), nullptr, nullptr));
    // A picture that is no local file is named by its URI.
    return path ? std::string(path.get()) : text;
}

std::optional<int> TGSettingsDesktopBackend::CurrentPlacement() {
    if (!Ready()) {
        return std::nullopt;
    }
    TGString nick(g_settings_get_string(settings_, kOptionsKey));
    const std::string text = nick ? nick.get() : "";
    for (int placement : {dpCenter, dpTile, dpStretch, dpSpan}) {
        if (text == NickOfPlacement(placement)) {
            return placement;
        }
    }
    return dpOther;
}

std::vector<std::string> TGSettingsDesktopBackend::RecordedKeys() const {
    std::vector<std::string> keys{family_.fileKey};
    if (!family_.darkKey.empty()) {
        keys.push_back(family_.darkKey);
    }
    for (const char* key : {kOptionsKey, "primary-color", "secondary-color", "color-shading-type",
                            "draw-background", "picture-opacity"}) {
        if (HasKey(key)) {
            keys.emplace_back(key);
        }
    }
    return keys;
}

// One line per key: the key, a tab, and either "default" or "=" followed by
// the value in GVariant text form (which escapes every control byte).
std::string TGSettingsDesktopBackend::SaveState() {
    if (!Ready()) {
        return std::string();
    }
    std::string state;
    for (const std::string& key : RecordedKeys()) {
        TVariant user(g_settings_get_user_value(settings_, key.c_str()));
        state += key;
        state += '\t';
        if (user) {
            TGString text(g_variant_print(user.get(), TRUE));
            state += '=';
            state += text.get();
        } else {
            state += "default";
        }
        state += '\n';
    }
    return state;
}

bool TGSettingsDesktopBackend::RestoreState(const std::string& state) {
    if (!Ready()) {
        return false;
    }
    const std::vector<std::string> allowed = RecordedKeys();
    bool ok = true;
    std::size_t pos = 0;
    while (pos < state.size()) {
        std::size_t eol = state.find('\n', pos);
        if (eol == std::string::npos) {
            eol = state.size();
        }
        const std::string line = state.substr(pos, eol - pos);
        pos = eol + 1;
        const std::size_t tab = line.find('\t');
        if (tab == std::string::npos) {
            continue;
        }
        const std::string key = line.substr(0, tab);
        const std::string value = line.substr(tab + 1);
        if (std::find(allowed.begin(), allowed.end(), key) == allowed.end()) {
            continue;
        }
        if (value == "default") {
            g_settings_reset(settings_, key.c_str());
            continue;
        }
        if (value.empty() || value[0] != '=') {
            continue;
        }
        // The text is parsed as the key's own type, so a damaged record
        // cannot store a value of another type.
        GSettingsSchema* schema = nullptr;
        g_object_get(settings_, "settings-schema", &schema, nullptr);
        GSettingsSchemaKey* schemaKey = g_settings_schema_get_key(schema, key.c_str());
        GError* error = nullptr;
        TVariant parsed(g_variant_parse(g_settings_schema_key_get_value_type(schemaKey),
                                        value.c_str() + 1, nullptr, nullptr, &error));
        g_settings_schema_key_unref(schemaKey);
        g_settings_schema_unref(schema);
        if (!parsed) {
            g_clear_error(&error);
            ok = false;
            continue;
        }
        if (!g_settings_set_value(settings_, key.c_str(), parsed.get())) {
            ok = false;
        }
    }
    g_settings_sync();
    if (!ok) {
        lastError_ = "the wallpaper settings of " + family_.schema + " could not all be put back";
    }
    return ok;
}
