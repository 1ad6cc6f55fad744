// File operations that every store shares: reads that never wait on a FIFO nor take in a huge file,
// writes that never leave a half-written file, and keeping the bytes of a file that could not be read
// before it is written over (readFileIfPresent and preserveUnreadableFile are in platform/AtomicFile.h
// so that the backends' own files are read and kept the same way).
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

// preserveUnreadableFile, then the error line "Kept unreadable <path> as <copy> before writing it
// again" on `log`. Returns the copy's path; throws as preserveUnreadableFile does.
std::filesystem::path keepUnreadableFile(const std::filesystem::path& path, const platform::Logger& log);

// For a store about to write over `path`, on the "app" log (`readable` takes the file's bytes over, to
// hand them on to decodeStoredJSON):
// - a file that holds bytes `readable` refuses, or is too large to be read, is copied aside with
//   keepUnreadableFile;
// - a file whose bytes could not be read at all (no permission to read them, an I/O error, a loop of
//   symbolic links) is renamed aside with moveUnreadableFileAside: a copy would have to read them;
// - a FIFO, socket or device (or a symbolic link to one) is named in an error line, once, since the
//   write puts a regular file in its place; a folder is left to the write, which fails on it.
// Each line names the file and why. An empty or missing file needs nothing.
// Throws std::filesystem::filesystem_error when the file cannot be kept, so the caller writes nothing.
void keepUnreadableFileBeforeWriting(const std::filesystem::path& path,
                                     const std::function<bool(std::string bytes)>& readable);

// Whether `id` may name the file "<id>.json" inside a folder without reaching outside it: not empty,
// not "." or "..", and free of "/", "\\" and control characters (C0, DEL and C1).
bool isSafeFileIdentifier(std::string_view id);

} // namespace korvane
