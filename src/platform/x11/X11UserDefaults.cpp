// Reading and writing the defaults file. Nothing is lost: a file that cannot be read is copied beside
// itself as "user-defaults.json.unreadable-<UTC stamp>" before the first write replaces it.
#include "platform/x11/X11UserDefaults.h"

#include "platform/AtomicFile.h"
#include "platform/Logger.h"
#include "platform/UTF8.h"

#include <cstdlib>
#include <fstream>
#include <pwd.h>
#include <sstream>
#include <unistd.h>

namespace korvane::x11 {

namespace fs = std::filesystem;

namespace {

const platform::Logger& log() {
    static const platform::Logger logger("Korvane", "x11");
    return logger;
}

std::string nonEmptyEnv(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

} // namespace

fs::path X11UserDefaults::applicationSupportFolder() {
    if (auto home = nonEmptyEnv("KORVANE_HOME"); !home.empty()) return home;
    if (auto config = nonEmptyEnv("XDG_CONFIG_HOME"); !config.empty()) return fs::path(config) / "Korvane";
    std::string home = nonEmptyEnv("HOME");
    if (home.empty())
        if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) home = pw->pw_dir;
    return fs::path(home) / ".config" / "Korvane";
}

X11UserDefaults::X11UserDefaults(fs::path folder) : file_(std::move(folder) / kFileName) {
    std::error_code ec;
    if (!fs::exists(file_, ec)) return;
    std::ifstream in(file_, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    auto parsed = nlohmann::json::parse(text.str(), nullptr, false);
    if (!in.bad() && !parsed.is_discarded() && parsed.is_object()) {
        values_ = std::move(parsed);
        return;
    }
    preserveBeforeWrite_ = true;
    log().error("Could not read user defaults at %{public}s; starting empty", file_.string());
}

std::optional<nlohmann::json> X11UserDefaults::object(const std::string& key) {
    std::lock_guard lock(mutex_);
    auto it = values_.find(key);
    if (it == values_.end() || it->is_null()) return std::nullopt;
    return *it;
}

void X11UserDefaults::set(const std::string& key, const nlohmann::json& value) {
    std::lock_guard lock(mutex_);
    if (value.is_null())
        values_.erase(key);
    else
        values_[key] = value;
    writeLocked();
}

void X11UserDefaults::remove(const std::string& key) {
    std::lock_guard lock(mutex_);
    if (values_.erase(key) == 0) return;
    writeLocked();
}

void X11UserDefaults::writeLocked() {
    std::error_code ec;
    fs::create_directories(file_.parent_path(), ec);
    if (ec) {
        log().error("Could not create %{public}s: %{public}s", file_.parent_path().string(), ec.message());
        return;
    }
    if (preserveBeforeWrite_ && fs::exists(file_, ec)) {
        // The helper every store uses: a copy made in the same second as an earlier one gets a name of
        // its own instead of replacing it.
        try {
            const fs::path kept = preserveUnreadableFile(file_);
            log().notice("Kept the unreadable user defaults at %{public}s", kept.string());
        } catch (const fs::filesystem_error& e) {
            // Writing now would destroy the only copy.
            log().error("Could not keep the unreadable user defaults aside: %{public}s", e.code().message());
            return;
        }
    }
    preserveBeforeWrite_ = false;
    // The writer every store uses: the old file or the new one survives a crash or a power loss, and the
    // temporaries of a process killed mid-write are swept by a later write.
    try {
        writeFileAtomically(file_, jsonText(values_, 2) + '\n');
    } catch (const fs::filesystem_error& e) {
        log().error("Could not write %{public}s: %{public}s", file_.string(), e.code().message());
    }
}

} // namespace korvane::x11
