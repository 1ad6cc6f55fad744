// The focus whitelist: the applications, by bundle identifier, whose windows need the careful
// activation strategy. A fixed list read once and never written, and a runtime list that window
// activation grows after repeated failures and that is kept in the application-support folder.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace korvane {

namespace platform {
class Platform;
}

// The file form of either list: {"bundleIds":[...]}.
struct FocusWhitelist {
    std::vector<std::string> bundleIds;
};

// Confined to the main thread; takes no lock.
class FocusWhitelistStore {
  public:
    // Reads the fixed list and then the runtime list; neither is read again.
    explicit FocusWhitelistStore(platform::Platform& platform);
    FocusWhitelistStore(const FocusWhitelistStore&) = delete;
    FocusWhitelistStore& operator=(const FocusWhitelistStore&) = delete;

    // The process-wide instance, made on first use for the platform in use (and made again should the
    // platform in use be another one than its own, as happens between tests).
    static std::shared_ptr<FocusWhitelistStore> shared();
    // Installs the instance that shared() returns; nullptr lets the next shared() make a fresh one.
    static void setShared(std::shared_ptr<FocusWhitelistStore> instance);

    platform::Platform& platform() const { return platform_; }

    // Adds the identifier to the runtime list and rewrites its file whole.
    void addToRuntimeWhitelist(const std::string& bundleID);

    // Whether either list holds the identifier (exact, case-sensitive).
    bool contains(const std::string& bundleID) const;

    const std::string fileName = "focus-whitelist.json";
    const std::string runtimeFileName = "focus-whitelist-runtime.json";
    std::set<std::string> bundleIds;
    std::set<std::string> runtimeBundleIds;

    // Used only when no location yields a list.
    static const std::vector<std::string>& builtInDefaults();

    // The list of one file; nothing (and a log line) when it cannot be read or decoded.
    std::optional<std::vector<std::string>> loadFile(const std::filesystem::path& path);
    void saveRuntimeWhitelist();

    // Where the lists are looked for, in the order the fixed list is looked up.
    std::optional<std::filesystem::path> appSupportURL() const;
    std::optional<std::filesystem::path> bundleURL() const;
    // Absent where the platform keeps no configuration under the working directory.
    std::optional<std::filesystem::path> workingDirectoryURL() const;
    std::optional<std::filesystem::path> runtimeURL() const;

  private:
    void loadWhitelist();
    void loadRuntimeWhitelist();

    platform::Platform& platform_;
    // The runtime file was there but could not be read: its bytes are kept aside before the first save.
    bool runtimeFileUnreadable_ = false;
};

// Decoding and encoding of the file form. decode throws DecodingError (or a JSON parse error) on a
// document that is not an object with a "bundleIds" array of strings; other keys are ignored.
FocusWhitelist decodeFocusWhitelist(std::string bytes);
std::string encodeFocusWhitelist(const FocusWhitelist& list);

} // namespace korvane
