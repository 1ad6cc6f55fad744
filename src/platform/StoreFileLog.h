// What the log says of a store's file, as every store and the backends' own files say it: the bytes of a
// file that could not be read are kept before it is written over, and where they went is named; a file
// that cannot be read or written is named with the reason, once per cause.
#pragma once

#include <exception>
#include <filesystem>
#include <functional>
#include <string>

namespace korvane {

namespace platform {
class Logger;
}

// For a store about to write over `path`, on `log` (`readable` takes the file's bytes over, to hand them
// on to decodeStoredJSON):
// - a file that holds bytes `readable` refuses, or is too large to be read, is copied aside with
//   preserveUnreadableFile;
// - a file whose bytes could not be read at all (no permission to read them, an I/O error, a loop of
//   symbolic links) is renamed aside with moveUnreadableFileAside: a copy would have to read them, and
//   one of a file whose size reads 0 would be made without reading a byte;
// - a FIFO, socket or device (or a symbolic link to one) is named in an error line, once, since the
//   write puts a regular file in its place; a folder is left to the write, which fails on it.
// Each line names the file, where it was kept and why. An empty or missing file needs nothing.
// Throws std::filesystem::filesystem_error when the file cannot be kept, so the caller writes nothing.
void keepUnreadableFileBeforeWriting(const std::filesystem::path& path,
                                     const std::function<bool(std::string bytes)>& readable,
                                     const platform::Logger& log);

// "Once per cause": a store reads or writes its whole file again and again (a write on every change), so
// a folder that stays read-only or a file that stays damaged would otherwise fill the log. The line is
// said when the file's previous read (or write) went well or failed for another reason. Any thread.

// After a write of `path` failed with `failure`: the error line "Could not write <path>: <reason>" on
// `log`, once per cause.
void logFailedWrite(const std::filesystem::path& path, const std::exception& failure,
                    const platform::Logger& log);
// After a write of `path` succeeded: its next failure is said again, whatever its reason.
void noteSucceededWrite(const std::filesystem::path& path);

// After `path`, which is there, could not be read or decoded: the error line "Could not read <path>: it
// <why>; <consequence>" on `log`, once per cause. `why` is "does not decode" or describeUnreadFile's words.
void logUnreadableFile(const std::filesystem::path& path, const std::string& why,
                       const std::string& consequence, const platform::Logger& log);
// After `path` was read (or found missing or empty): its next problem is said again.
void noteReadableFile(const std::filesystem::path& path);

} // namespace korvane
