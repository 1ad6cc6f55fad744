// File operations that every store shares: writes that never leave a half-written file, and keeping the
// bytes of a file that could not be read before it is written over.
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

// Copies the file at `path` to "NAME.unreadable-<UTC stamp>" in the same folder (stamp like
// "2026-05-28T20:26:40Z", from the platform's wall clock; "-2", "-3"… appended when that name is taken)
// and returns the copy's path. The original stays until the caller writes over it. Throws
// std::filesystem::filesystem_error when the copy cannot be made.
std::filesystem::path preserveUnreadableFile(const std::filesystem::path& path);

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
