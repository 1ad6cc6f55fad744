// Reading and writing the defaults file. Nothing is lost: a file that cannot be read (not JSON, not an
// object, too large, nested too deep) is copied beside itself as
// "user-defaults.json.unreadable-<UTC stamp>" before the first write replaces it, and one whose bytes
// cannot be read at all is renamed to that name.
#include "platform/x11/X11UserDefaults.h"

#include "platform/AtomicFile.h"
#include "platform/Logger.h"
#include "platform/StoreFileLog.h"
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

// The object the bytes hold, when this store can read it and write it back.
std::optional<nlohmann::json> readableObject(std::string bytes) {
    try {
        return decodeStoredJSON(std::move(bytes), [](nlohmann::json json) {
            if (!json.is_object() || !nestedWithin(json, kMaxNesting)) return std::optional<nlohmann::json>();
            return std::optional<nlohmann::json>(std::move(json));
        });
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
}

bool readable(std::string bytes) {
    return readableObject(std::move(bytes)).has_value();
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
    std::string why;
    switch (stored.state) {
    case StoreFile::State::missing:
    case StoreFile::State::notRegular:
        // A FIFO, socket or device has no bytes to keep: the first write puts the file in its place, and
        // says what it replaces. A folder is not replaced: the write fails on it, and says so.
        return;
    case StoreFile::State::read:
        if (stored.bytes.empty()) return;
        if (auto parsed = readableObject(std::move(stored.bytes))) {
            values_ = std::move(*parsed);
            return;
        }
        why = "does not decode";
        break;
    case StoreFile::State::tooLarge:
    case StoreFile::State::failed:
        why = describeUnreadFile(stored);
        break;
    }
    // The first write keeps the file aside before it writes over it, and says where.
    log().error("Could not read user defaults at %{public}s: it %{public}s; starting empty", file_.string(),
                why);
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
    // The ways every store writes: a file that could not be read is kept first (its bytes copied, or the
    // file itself renamed when its bytes cannot be read), the old file or the new one survives a crash or
    // a power loss, and a failure is said once per cause.
    try {
        fs::create_directories(file_.parent_path());
        keepUnreadableFileBeforeWriting(file_, readable, log());
        writeFileAtomically(file_, jsonText(values_, 2) + '\n');
    } catch (const std::exception& e) {
        logFailedWrite(file_, e, log());
        return;
    }
    noteSucceededWrite(file_);
}

} // namespace korvane::x11
