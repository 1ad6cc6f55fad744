// Writing a file so that a reader sees the old contents or the new, never a part, even after a power
// loss; and keeping the bytes of a file that could not be read before it is written over.
#pragma once

#include <filesystem>
#include <string_view>

namespace korvane {

// Writes `bytes` to a new file ".NAME.tmp-<hex>-<n>" beside `path`, flushes it to the disk, renames it
// over `path` and flushes the folder. The folder must exist. Throws std::filesystem::filesystem_error
// on failure, leaving `path` as it was and no temporary file behind. Afterwards removes temporary files
// of that naming in the folder that are over a minute old: those of writers killed mid-write.
void writeFileAtomically(const std::filesystem::path& path, std::string_view bytes);

// Copies the file at `path` to "NAME.unreadable-<UTC stamp>" in the same folder (stamp like
// "2026-05-28T20:26:40Z", from the wall clock of the platform in use, else the system's; "-2", "-3"…
// appended when that name is taken) and returns the copy's path. The original stays until the caller
// writes over it. Throws std::filesystem::filesystem_error when the copy cannot be made.
std::filesystem::path preserveUnreadableFile(const std::filesystem::path& path);

} // namespace korvane
