// The default hot-key table and its file.
#include "input/HotkeyConfig.h"

#include "core/AppSupport.h"
#include "core/FileUtil.h"
#include "core/JSONFields.h"
#include "core/Log.h"
#include "input/KeyCodes.h"
#include "platform/Format.h"
#include "platform/Logging.h"
#include "platform/StoredJSON.h"
#include "platform/UTF8.h"

#include <cmath>
#include <set>

namespace korvane {

namespace {

// The file keeps dates as seconds since 2001-01-01 00:00:00 UTC, which is this many after 1970.
constexpr double kReferenceDateOffset = 978'307'200.0;

std::vector<std::string> textList(const nlohmann::json& object, std::string_view key) {
    std::vector<std::string> out;
    for (const auto& entry : jsonfields::requireArray(object, key))
        out.push_back(jsonfields::asString(entry, key));
    return out;
}

// A hand-edited binding of one of the program's actions whose key no code stands for is never held; it
// is named here, once as the file is read, rather than each time the table is applied. The zone-number
// binding is held by its modifiers alone, and a disabled binding is meant not to be held.
void nameBindingsWithoutKeys(const HotkeyConfig& config, const HotkeyConfig& defaults) {
    std::set<std::string> known;
    for (const auto& binding : defaults.bindings)
        known.insert(binding.action);
    for (const auto& binding : config.bindings) {
        if (!binding.enabled || binding.action == "push.region.dynamic" || !known.count(binding.action) ||
            KeyCodes::code(binding.key))
            continue;
        if (binding.key.empty())
            Log::hotkey.error("HotkeyConfig: %s is not held: its key is empty", binding.action);
        else
            Log::hotkey.error("HotkeyConfig: %s is not held: no key is named \"%s\"", binding.action,
                              validUTF8(binding.key));
    }
}

} // namespace

HotkeyConfig HotkeyConfig::defaults(Nanos now) {
    // Letters are upper case as users read them; key look-up ignores case. Q and W push with
    // control+option and move the focus with control+shift+option.
    HotkeyConfig config;
    config.lastModified = now;
    config.bindings = {
        {"cycle.forward", "tab", {"alt"}, true},
        {"cycle.backward", "tab", {"alt", "shift"}, true},
        {"push.region.dynamic", "digits", {"ctrl", "alt"}, true},
        {"push.left", "Q", {"ctrl", "alt"}, true},
        {"push.right", "W", {"ctrl", "alt"}, true},
        {"push.display.prev", "Z", {"ctrl", "alt"}, true},
        {"push.display.next", "X", {"ctrl", "alt"}, true},
        {"focus.left", "Q", {"ctrl", "shift", "alt"}, true},
        {"focus.right", "W", {"ctrl", "shift", "alt"}, true},
        {"globalSwitcher.toggle", "A", {"ctrl", "alt"}, true},
        {"sceneSwitcher.toggle", "C", {"ctrl", "alt"}, true},
        {"scene.save", "S", {"ctrl", "alt"}, true},
        {"scene.update", "", {}, false},
    };
    return config;
}

std::filesystem::path HotkeyConfig::fileURL() {
    return appSupportDirectory() / kFileName;
}

HotkeyConfig HotkeyConfig::fromJSON(const nlohmann::json& json) {
    jsonfields::requireObject(json, "hot-key table");
    HotkeyConfig config;
    config.version = jsonfields::requireInteger(json, "version");
    for (const auto& entry : jsonfields::requireArray(json, "bindings")) {
        jsonfields::requireObject(entry, "binding");
        const auto& enabled = jsonfields::requireMember(entry, "enabled");
        if (!enabled.is_boolean()) throw DecodingError("binding: \"enabled\" is not a boolean");
        config.bindings.push_back({jsonfields::requireString(entry, "action"),
                                   jsonfields::requireString(entry, "key"), textList(entry, "modifiers"),
                                   enabled.get<bool>()});
    }
    config.disabled = textList(json, "disabled");
    config.lastModified.reset();
    if (const auto* stamp = jsonfields::member(json, "lastModified")) {
        const double seconds = jsonfields::asNumber(*stamp, "lastModified") + kReferenceDateOffset;
        if (!std::isfinite(seconds) || std::fabs(seconds) > 9.0e9)
            throw DecodingError("lastModified: out of range");
        config.lastModified = static_cast<Nanos>(std::llround(seconds * 1e9));
    }
    return config;
}

nlohmann::ordered_json HotkeyConfig::toJSON() const {
    nlohmann::ordered_json out;
    out["version"] = version;
    out["bindings"] = nlohmann::ordered_json::array();
    for (const auto& b : bindings)
        out["bindings"].push_back(nlohmann::ordered_json{
            {"action", b.action}, {"key", b.key}, {"modifiers", b.modifiers}, {"enabled", b.enabled}});
    out["disabled"] = disabled;
    if (lastModified) out["lastModified"] = static_cast<double>(*lastModified) / 1e9 - kReferenceDateOffset;
    return out;
}

HotkeyConfig HotkeyConfig::load(Nanos now) {
    std::filesystem::path path;
    try {
        path = fileURL();
    } catch (const std::exception&) {
        return defaults(now);
    }
    StoreFile stored;
    try {
        stored = readStoreFile(path);
    } catch (const std::exception&) {
        stored = StoreFile{StoreFile::State::failed, {}, std::make_error_code(std::errc::not_enough_memory)};
    }
    if (stored.state == StoreFile::State::missing) {
        HotkeyConfig fresh = defaults(now);
        fresh.save(now);
        return fresh;
    }
    // The file and why: a hand-edited table and one that is not a file at all are mended differently.
    const auto loadFailed = [&](const std::string& why) {
        Log::hotkey.error("HotkeyConfig load failed, using defaults: %s %s", path.string(), validUTF8(why));
        return defaults(now);
    };
    if (stored.state != StoreFile::State::read) return loadFailed(describeUnreadFile(stored));
    HotkeyConfig config;
    try {
        config = decodeStoredJSON(std::move(stored.bytes), fromJSON);
    } catch (const std::exception& e) {
        return loadFailed(std::string("does not decode (") + e.what() + ")");
    }

    if (config.version < kCurrentVersion) {
        platform::consoleSink()->writeLine(platform::format(
            "[Korvane] HotkeyConfig: upgrading from v%d to v3, replacing with defaults", config.version));
        HotkeyConfig fresh = defaults(now);
        // The older table's bindings are the user's own: they stay beside the new table, and without a
        // copy the file is not replaced.
        try {
            const std::filesystem::path kept = preserveUnreadableFile(path);
            Log::hotkey.info("HotkeyConfig: kept the v%d table as %{public}s", config.version, kept.string());
        } catch (const std::exception& e) {
            Log::hotkey.error("HotkeyConfig: the v%d table could not be kept aside, leaving it: %s",
                              config.version, e.what());
            return fresh;
        }
        fresh.save(now);
        return fresh;
    }

    // A default the user removed comes back: actions are the keys of the merge, the key and modifiers
    // of a binding the user kept are never touched.
    const HotkeyConfig defaultTable = defaults(now);
    nameBindingsWithoutKeys(config, defaultTable);
    std::set<std::string> present;
    for (const auto& binding : config.bindings)
        present.insert(binding.action);
    std::vector<std::string> added;
    for (const auto& binding : defaultTable.bindings)
        if (!present.count(binding.action)) {
            config.bindings.push_back(binding);
            added.push_back(binding.action);
        }
    if (added.empty()) return config;
    Log::hotkey.info("HotkeyConfig: merged %ld new default bindings: %s", added.size(),
                     platform::describeList(added));
    config.lastModified = now;
    config.save(now);
    return config;
}

void HotkeyConfig::save(Nanos now) const {
    HotkeyConfig stamped = *this;
    stamped.lastModified = now;
    try {
        const std::filesystem::path path = fileURL();
        const std::string bytes = stamped.toJSON().dump();
        // A table that could not be read is the one the user edits by hand: its bytes are kept.
        keepUnreadableFileBeforeWriting(path, [](std::string existing) {
            try {
                decodeStoredJSON(std::move(existing), fromJSON);
                return true;
            } catch (const std::exception&) {
                return false;
            }
        });
        writeFileAtomically(path, bytes);
    } catch (const std::exception& e) {
        Log::app.error("HotkeyConfig save failed: %s", e.what());
    }
}

} // namespace korvane
