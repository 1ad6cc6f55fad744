// Writing a file so that a reader sees the old contents or the new, never a part, even after a power
// loss.
#pragma once

#include <filesystem>
#include <string_view>

namespace korvane {

// Writes `bytes` to a new file ".NAME.tmp-<hex>-<n>" beside `path`, flushes it to the disk, renames it
// over `path` and flushes the folder. The folder must exist. Throws std::filesystem::filesystem_error
// on failure, leaving `path` as it was and no temporary file behind. Afterwards removes temporary files
// of that naming in the folder that are over a minute old: those of writers killed mid-write.
void writeFileAtomically(const std::filesystem::path& path, std::string_view bytes);

} // namespace korvane
