// Reading a store's file without waiting on it and within a size; writing a file so that a reader sees
// the old contents or the new, never a part, even after a power loss; and keeping the bytes of a file
// that could not be read before it is written over.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

namespace korvane {

// No store's file comes near this; reading a larger one whole would hold up the start for seconds and
// keep its size in memory, and only a damaged or hostile file is that large.
inline constexpr std::uintmax_t kMaxStoreFileSize = 16 * 1024 * 1024;

// A store's file as read: its whole bytes, or why there are none.
struct StoreFile {
    enum class State {
        read,       // `bytes` holds the whole file
        missing,    // nothing at the path
        notRegular, // a folder, FIFO, socket or device: never read, since reading one can wait for ever
        tooLarge,   // a regular file over kMaxStoreFileSize, left unread: its bytes are the user's
        failed,     // a regular file that could not be opened or read (`error` says why)
    };
    State state = State::missing;
    std::string bytes;
    std::error_code error; // why, in the state `failed`
    // What is there, in the state `notRegular` (what a symbolic link leads to, and whether it does).
    std::filesystem::file_type type = std::filesystem::file_type::none;
    bool throughLink = false;
};

// The file at `path` (symbolic links followed). Never blocks on a FIFO or device and never throws but
// for want of memory.
StoreFile readStoreFile(const std::filesystem::path& path);

// The whole file, or nothing when readStoreFile does not read it (missing, not a regular file, too
// large, unreadable).
std::optional<std::string> readFileIfPresent(const std::filesystem::path& path);

// Why readStoreFile left a file unread, in words that follow the file's name in a line: "is not a
// readable file (a FIFO)", "(a symbolic link to a character device)", "(over 16 MB)", "(Permission
// denied)", "(no such file)". Empty for a file that was read.
std::string describeUnreadFile(const StoreFile& file);

// A store's file that readStoreFile did not read; what() names the file and why.
class UnreadableFileError : public std::runtime_error {
  public:
    UnreadableFileError(const std::filesystem::path& path, const StoreFile& file);
};

// The whole file, for a reader to whom a file it cannot read is an error. Throws UnreadableFileError
// when readStoreFile does not read it (a missing file included).
std::string readStoreFileBytes(const std::filesystem::path& path);

// Writes `bytes` to a new file ".NAME.tmp-<hex>-<n>" beside `path`, flushes it to the disk, renames it
// over `path` and flushes the folder. The folder must exist. Throws std::filesystem::filesystem_error
// on failure, leaving `path` as it was and no temporary file behind. Afterwards removes temporary files
// of that naming in the folder that are over a minute old: those of writers killed mid-write.
void writeFileAtomically(const std::filesystem::path& path, std::string_view bytes);

// Copies the file at `path` to "NAME.unreadable-<UTC stamp>" in the same folder (stamp like
// "2026-05-28T20:26:40Z", from the wall clock of the platform in use, else the system's; "-2", "-3"…
// appended when that name is taken) and returns the copy's path once the copy and its folder entry are
// on the disk: the caller writes over the original next, and after a power loss the copy may be all
// that is left of the user's bytes. The original stays until the caller writes over it. Throws
// std::filesystem::filesystem_error when the copy cannot be made or flushed (no copy is left then).
std::filesystem::path preserveUnreadableFile(const std::filesystem::path& path);

// For a file whose bytes cannot be read to be copied (no permission to read them, an I/O error): renames
// it to the name preserveUnreadableFile gives a copy, never over another file, since a rename reads
// nothing. Returns the new path once the rename is on the disk; the caller writes a new file at `path`
// next. Throws std::filesystem::filesystem_error when it cannot be renamed (it stays where it was).
std::filesystem::path moveUnreadableFileAside(const std::filesystem::path& path);

} // namespace korvane
