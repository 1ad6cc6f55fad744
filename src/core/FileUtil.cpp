// Keeping the bytes of unreadable store files before they are written over, shared by every store.
#include "core/FileUtil.h"

#include "core/Log.h"

#include <string>
#include <system_error>

namespace korvane {

namespace fs = std::filesystem;

fs::path keepUnreadableFile(const fs::path& path, const platform::Logger& log) {
    fs::path kept = preserveUnreadableFile(path);
    log.error("Kept unreadable %{public}s as %{public}s before writing it again", path.string(),
              kept.string());
    return kept;
}

void keepUnreadableFileBeforeWriting(const fs::path& path,
                                     const std::function<bool(std::string bytes)>& readable) {
    keepUnreadableFileBeforeWriting(path, readable, Log::app);
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

std::string failureInWords(const std::exception& error) {
    if (const auto* fileError = dynamic_cast<const std::filesystem::filesystem_error*>(&error))
        return fileError->code().message();
    return error.what();
}

} // namespace korvane
