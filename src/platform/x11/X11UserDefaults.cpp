// Reading and writing the defaults file. Nothing is lost: a file that cannot be read (not JSON, not an
// object, too large, nested too deep) is copied beside itself as
// "user-defaults.json.unreadable-<UTC stamp>" before the first write replaces it.
#include "platform/x11/X11UserDefaults.h"

#include "platform/AtomicFile.h"
#include "platform/Logger.h"
#include "platform/StoredJSON.h"
#include "platform/UTF8.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace korvane::x11 {

namespace fs = std::filesystem;

namespace {

const platform::Logger& log() {
    static const platform::Logger logger("Korvane", "x11");
    return logger;
}

// Far deeper than any value stored here. Copying and writing a value recurse once per level, so a
// deeper one, which only a damaged or hostile file holds, would overflow the stack.
constexpr std::size_t kMaxNesting = 512;

// Whether no array or object in `value` lies more than `levels` deep (`value` itself is level 1), looked
// at without recursion.
bool nestedWithin(const nlohmann::json& value, std::size_t levels) {
    std::vector<std::pair<const nlohmann::json*, std::size_t>> pending{{&value, 1}};
    while (!pending.empty()) {
        const auto [next, level] = pending.back();
        pending.pop_back();
        if (!next->is_structured()) continue;
        if (level > levels) return false;
        for (const auto& child : *next)
            pending.push_back({&child, level + 1});
    }
    return true;
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
    // Read as every store reads its file: never waiting on a FIFO, never taking in a huge file.
    StoreFile stored = readStoreFile(file_);
    switch (stored.state) {
    case StoreFile::State::missing:
        return;
    case StoreFile::State::notRegular:
        // No bytes to keep: the first write puts the file in its place, and says what it replaces. A
        // folder is not replaced: the write fails on it, and says so.
        if (stored.type != fs::file_type::directory) replacedBeforeWrite_ = describeUnreadFile(stored);
        return;
    case StoreFile::State::read: {
        std::optional<nlohmann::json> parsed;
        try {
            parsed = decodeStoredJSON(std::move(stored.bytes), [](nlohmann::json json) {
                if (!json.is_object() || !nestedWithin(json, kMaxNesting))
                    return std::optional<nlohmann::json>();
                return std::optional<nlohmann::json>(std::move(json));
            });
        } catch (const nlohmann::json::exception&) {
        }
        if (parsed) {
            values_ = std::move(*parsed);
            return;
        }
        break;
    }
    case StoreFile::State::tooLarge:
    case StoreFile::State::failed:
        break;
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
    // The file written must read back: a value as deep as the limit would make it unreadable.
    if (!nestedWithin(value, kMaxNesting - 1)) {
        log().error("Not storing user default %{public}s: nested deeper than %{public}u levels", key,
                    static_cast<unsigned>(kMaxNesting - 1));
        return;
    }
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
    if (!replacedBeforeWrite_.empty()) {
        log().error("%{public}s %{public}s: writing a regular file in its place", file_.string(),
                    replacedBeforeWrite_);
        replacedBeforeWrite_.clear();
    }
    // The writer every store uses: the old file or the new one survives a crash or a power loss, and the
    // temporaries of a process killed mid-write are swept by a later write.
    try {
        writeFileAtomically(file_, jsonText(values_, 2) + '\n');
    } catch (const fs::filesystem_error& e) {
        log().error("Could not write %{public}s: %{public}s", file_.string(), e.code().message());
    }
}

} // namespace korvane::x11
