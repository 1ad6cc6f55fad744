// File operations that every store shares: writes that never leave a half-written file, and keeping the
// bytes of a file that could not be read before it is written over (preserveUnreadableFile, in
// platform/AtomicFile.h so that the backends' own files keep theirs the same way).
#pragma once

#include "platform/AtomicFile.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace korvane {

namespace platform {
class Logger;
}

// The whole file, or nothing when no readable file is there (missing, a folder, no permission).
std::optional<std::string> readFileIfPresent(const std::filesystem::path& path);

// preserveUnreadableFile, then the error line "Kept unreadable <path> as <copy> before writing it
// again" on `log`. Returns the copy's path; throws as preserveUnreadableFile does.
std::filesystem::path keepUnreadableFile(const std::filesystem::path& path, const platform::Logger& log);

// For a store about to write over `path`: when the file there holds bytes that `readable` refuses,
// keeps them with keepUnreadableFile on the "app" log. An empty or missing file needs nothing.
// Throws std::filesystem::filesystem_error when the copy cannot be made, so the caller writes nothing.
void keepUnreadableFileBeforeWriting(const std::filesystem::path& path,
                                     const std::function<bool(const std::string& bytes)>& readable);

// Whether `id` may name the file "<id>.json" inside a folder without reaching outside it: not empty,
// not "." or "..", and free of "/", "\\" and control characters (C0, DEL and C1).
bool isSafeFileIdentifier(std::string_view id);

} // namespace korvane
