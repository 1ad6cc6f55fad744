// File operations that every store shares: reads that never wait on a FIFO nor take in a huge file,
// writes that never leave a half-written file, keeping the bytes of a file that could not be read
// before it is written over, and saying a failed write once per cause (the helpers themselves are in
// platform/AtomicFile.h and platform/StoreFileLog.h, so that the backends' own files are read, kept
// and written the same way).
#pragma once

#include "platform/AtomicFile.h"
#include "platform/StoreFileLog.h"

#include <exception>
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

// keepUnreadableFileBeforeWriting of platform/StoreFileLog.h on the "app" log.
void keepUnreadableFileBeforeWriting(const std::filesystem::path& path,
                                     const std::function<bool(std::string bytes)>& readable);

// Whether `id` may name the file "<id>.json" inside a folder without reaching outside it: not empty,
// not "." or "..", and free of "/", "\\" and control characters (C0, DEL and C1).
bool isSafeFileIdentifier(std::string_view id);

// A failed file operation in words for a person: the system's own word for a file-system error ("Not a
// directory"), without the paths of temporary files that the error's full text names; else its text.
std::string failureInWords(const std::exception& error);

} // namespace korvane
