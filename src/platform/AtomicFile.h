// Writing a file so that a reader sees the old contents or the new, never a part.
#pragma once

#include <filesystem>
#include <string_view>

namespace korvane {

// Writes `bytes` to a new file beside `path`, flushes it and renames it over `path`. The folder must
// exist. Throws std::filesystem::filesystem_error on failure, leaving `path` as it was and no temporary
// file behind.
void writeFileAtomically(const std::filesystem::path& path, std::string_view bytes);

} // namespace korvane
