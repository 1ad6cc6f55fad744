// Keeping the bytes of unreadable store files before they are written over, shared by every store.
#include "core/FileUtil.h"

#include "core/Log.h"

#include <string>
#include <system_error>

namespace korvane {

namespace fs = std::filesystem;

namespace {

void logKept(const platform::Logger& log, const fs::path& path, const fs::path& kept,
             const std::string& why) {
    log.error("Kept unreadable %{public}s as %{public}s before writing it again: it %{public}s",
              path.string(), kept.string(), why);
}

} // namespace

fs::path keepUnreadableFile(const fs::path& path, const platform::Logger& log) {
    fs::path kept = preserveUnreadableFile(path);
    log.error("Kept unreadable %{public}s as %{public}s before writing it again", path.string(),
              kept.string());
    return kept;
}

void keepUnreadableFileBeforeWriting(const fs::path& path,
                                     const std::function<bool(std::string bytes)>& readable) {
    using State = StoreFile::State;
    StoreFile existing = readStoreFile(path);
    switch (existing.state) {
    case State::missing:
        return;
    case State::read:
        if (existing.bytes.empty() || readable(std::move(existing.bytes))) return;
        logKept(Log::app, path, preserveUnreadableFile(path), "does not decode");
        return;
    case State::tooLarge:
        logKept(Log::app, path, preserveUnreadableFile(path), describeUnreadFile(existing));
        return;
    case State::failed:
        // Its bytes were never read, so nothing shows they are not the user's; a rename keeps them
        // without reading them.
        logKept(Log::app, path, moveUnreadableFileAside(path), describeUnreadFile(existing));
        return;
    case State::notRegular:
        // Nothing to keep: its bytes are not the file's. After the write a regular file is there, so
        // this is said once.
        if (existing.type == fs::file_type::directory) return;
        Log::app.error("%{public}s %{public}s: writing a regular file in its place", path.string(),
                       describeUnreadFile(existing));
        return;
    }
}

bool isSafeFileIdentifier(std::string_view id) {
    if (id.empty() || id == "." || id == "..") return false;
    for (std::size_t i = 0; i < id.size(); ++i) {
        const auto c = static_cast<unsigned char>(id[i]);
        if (c == '/' || c == '\\' || c < 0x20 || c == 0x7F) return false;
        // U+0080 to U+009F, the C1 controls, are 0xC2 0x80 to 0xC2 0x9F in UTF-8.
        if (c == 0xC2 && i + 1 < id.size()) {
            const auto next = static_cast<unsigned char>(id[i + 1]);
            if (next >= 0x80 && next <= 0x9F) return false;
        }
    }
    return true;
}

} // namespace korvane
