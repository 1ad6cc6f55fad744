// Bounded reads and atomic, durable writes of files, shared by the stores and by the backends' own files.
#include "platform/AtomicFile.h"

#include "platform/Platform.h"

#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace korvane {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kTemporaryMark = ".tmp-";
// A write takes milliseconds; a temporary file of ours left alone this long belongs to a writer that
// was killed before it could rename or remove it.
constexpr auto kStaleTemporaryAge = std::chrono::minutes(1);

std::error_code lastError() {
    return {errno, std::generic_category()};
}

// Unique among writers in this process (the counter) and across processes (the random part):
// ".NAME.tmp-<hex>-<decimal>".
std::string temporaryName(const fs::path& target) {
    static std::atomic<unsigned> counter{0};
    static const unsigned long long salt = [] {
        std::random_device rd;
        return (static_cast<unsigned long long>(rd()) << 32) | rd();
    }();
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".tmp-%llx-%u", salt, counter.fetch_add(1));
    return "." + target.filename().string() + suffix;
}

bool allOf(std::string_view text, std::size_t maxLength, bool (*accepts)(unsigned char)) {
    if (text.empty() || text.size() > maxLength) return false;
    for (unsigned char c : text)
        if (!accepts(c)) return false;
    return true;
}

// Exactly what temporaryName makes, for some NAME; nobody else's file matches by accident.
bool isTemporaryName(std::string_view name) {
    const std::size_t mark = name.rfind(kTemporaryMark);
    if (name.size() < 2 || name[0] != '.' || mark == std::string_view::npos || mark < 2) return false;
    const std::string_view tail = name.substr(mark + kTemporaryMark.size());
    const std::size_t dash = tail.find('-');
    if (dash == std::string_view::npos) return false;
    return allOf(tail.substr(0, dash), 16,
                 [](unsigned char c) { return std::isxdigit(c) && !std::isupper(c); }) &&
           allOf(tail.substr(dash + 1), 10, [](unsigned char c) { return std::isdigit(c) != 0; });
}

// fsync, where the file system offers it: EINVAL means this file cannot be synchronised at all.
bool synchronise(int fd) {
    return ::fsync(fd) == 0 || errno == EINVAL;
}

// The rename lives in the folder's entries; without this an outage can lose it after the call returned.
// Failures are not reported: the new contents are in place, only their durability is in doubt.
void synchroniseFolder(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    (void)synchronise(fd);
    ::close(fd);
}

// Puts a file's bytes on the disk; the reason when they may not be there.
std::error_code synchroniseFile(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return lastError();
    const std::error_code ec = synchronise(fd) ? std::error_code{} : lastError();
    ::close(fd);
    return ec;
}

// Reads the open regular file whose size was `size` to its end, unless it grows past the limit.
StoreFile readOpenFile(int fd, std::uintmax_t size) {
    StoreFile file;
    file.state = StoreFile::State::read;
    file.bytes.reserve(static_cast<std::size_t>(size));
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) return file;
        if (n < 0) {
            if (errno == EINTR) continue;
            return StoreFile{StoreFile::State::failed, {}, lastError()};
        }
        if (file.bytes.size() + static_cast<std::size_t>(n) > kMaxStoreFileSize)
            return StoreFile{StoreFile::State::tooLarge, {}, {}};
        file.bytes.append(buffer, static_cast<std::size_t>(n));
    }
}

void removeStaleTemporaries(const fs::path& folder) {
    std::error_code ec;
    const auto now = fs::file_time_type::clock::now();
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (!isTemporaryName(it->path().filename().string())) continue;
        std::error_code entryError;
        if (it->symlink_status(entryError).type() != fs::file_type::regular) continue;
        const auto modified = it->last_write_time(entryError);
        if (entryError || now - modified < kStaleTemporaryAge) continue;
        fs::remove(it->path(), entryError);
    }
}

// "2026-05-28T20:26:40Z": whole seconds, rounded towards the past.
std::string utcStamp(Nanos wallClock) {
    Nanos secondsSince1970 = wallClock / kNanosPerSecond;
    if (wallClock % kNanosPerSecond < 0) --secondsSince1970;
    const auto time = static_cast<std::time_t>(secondsSince1970);
    std::tm tm{};
    char text[64] = "";
    if (gmtime_r(&time, &tm)) std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

Nanos wallClockNow() {
    if (platform::Platform::hasCurrent()) return platform::Platform::current().runLoop().wallClock();
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// "NAME.unreadable-<UTC stamp of now>" beside `path` for the first try, "-2", "-3"... appended for the
// next ones.
class UnreadableNames {
  public:
    explicit UnreadableNames(const fs::path& path)
        : path_(path), base_(path.filename().string() + ".unreadable-" + utcStamp(wallClockNow())) {}
    fs::path operator()(int attempt) const {
        return path_.parent_path() / (attempt == 1 ? base_ : base_ + "-" + std::to_string(attempt));
    }
    static constexpr int kMaxAttempts = 1000;

  private:
    fs::path path_;
    std::string base_;
};

fs::path folderOf(const fs::path& path) {
    return path.has_parent_path() ? path.parent_path() : fs::path(".");
}

fs::file_type fileType(mode_t mode) {
    if (S_ISDIR(mode)) return fs::file_type::directory;
    if (S_ISFIFO(mode)) return fs::file_type::fifo;
    if (S_ISSOCK(mode)) return fs::file_type::socket;
    if (S_ISBLK(mode)) return fs::file_type::block;
    if (S_ISCHR(mode)) return fs::file_type::character;
    return fs::file_type::unknown;
}

// `info` describes what `path` leads to, which is not a regular file.
StoreFile notRegularFile(const fs::path& path, const struct stat& info) {
    StoreFile file{StoreFile::State::notRegular, {}, {}};
    file.type = fileType(info.st_mode);
    struct stat own {};
    file.throughLink = ::lstat(path.c_str(), &own) == 0 && S_ISLNK(own.st_mode);
    return file;
}

const char* describeType(fs::file_type type) {
    switch (type) {
    case fs::file_type::directory:
        return "a folder";
    case fs::file_type::fifo:
        return "a FIFO";
    case fs::file_type::socket:
        return "a socket";
    case fs::file_type::block:
        return "a block device";
    case fs::file_type::character:
        return "a character device";
    default:
        return "not a regular file";
    }
}

} // namespace

StoreFile readStoreFile(const fs::path& path) {
    using State = StoreFile::State;
    const auto missingOr = [](int error) {
        const bool missing = error == ENOENT || error == ENOTDIR;
        return StoreFile{missing ? State::missing : State::failed,
                         {},
                         missing ? std::error_code{} : std::error_code{error, std::generic_category()}};
    };
    // Looked at before it is opened: opening a device can act on it, and only regular files are read.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return missingOr(errno);
    if (!S_ISREG(info.st_mode)) return notRegularFile(path, info);
    if (static_cast<std::uintmax_t>(info.st_size) > kMaxStoreFileSize)
        return StoreFile{State::tooLarge, {}, {}};
    // Without waiting, and looked at again once open: a FIFO put in its place meanwhile is not read.
    int fd = -1;
    do
        fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return missingOr(errno);
    StoreFile file;
    if (::fstat(fd, &info) != 0)
        file = StoreFile{State::failed, {}, lastError()};
    else if (!S_ISREG(info.st_mode))
        file = notRegularFile(path, info);
    else if (static_cast<std::uintmax_t>(info.st_size) > kMaxStoreFileSize)
        file = StoreFile{State::tooLarge, {}, {}};
    else
        file = readOpenFile(fd, static_cast<std::uintmax_t>(info.st_size));
    ::close(fd);
    return file;
}

std::optional<std::string> readFileIfPresent(const fs::path& path) {
    StoreFile file = readStoreFile(path);
    if (file.state != StoreFile::State::read) return std::nullopt;
    return std::move(file.bytes);
}

std::string describeUnreadFile(const StoreFile& file) {
    std::string why;
    switch (file.state) {
    case StoreFile::State::read:
        return "";
    case StoreFile::State::missing:
        why = "no such file";
        break;
    case StoreFile::State::notRegular:
        why = std::string(file.throughLink ? "a symbolic link to " : "") + describeType(file.type);
        break;
    case StoreFile::State::tooLarge:
        why = "over " + std::to_string(kMaxStoreFileSize / (1024 * 1024)) + " MB";
        break;
    case StoreFile::State::failed:
        why = file.error.message();
        break;
    }
    return "is not a readable file (" + why + ")";
}

UnreadableFileError::UnreadableFileError(const fs::path& path, const StoreFile& file)
    : std::runtime_error(path.string() + " " + describeUnreadFile(file)) {}

std::string readStoreFileBytes(const fs::path& path) {
    StoreFile file = readStoreFile(path);
    if (file.state != StoreFile::State::read) throw UnreadableFileError(path, file);
    return std::move(file.bytes);
}

fs::path preserveUnreadableFile(const fs::path& path) {
    const UnreadableNames names(path);
    for (int n = 1;; ++n) {
        fs::path copy = names(n);
        std::error_code ec;
        // copy_file refuses an existing target, so two preservations in one second keep both. A signal
        // can cut a copy short; the store would then refuse to write over the only copy of the user's
        // bytes, so the half copy goes and the copy is made again.
        bool copied = false;
        for (int attempt = 0; attempt < 100; ++attempt) {
            ec.clear();
            copied = fs::copy_file(path, copy, fs::copy_options::none, ec);
            if (copied || ec != std::errc::interrupted) break;
            std::error_code ignored;
            fs::remove(copy, ignored);
        }
        if (copied) {
            // On the disk, under its name, before the caller writes over the original.
            if (const std::error_code syncError = synchroniseFile(copy)) {
                std::error_code ignored;
                fs::remove(copy, ignored);
                throw fs::filesystem_error("cannot flush the copy of the unreadable file", path, copy,
                                           syncError);
            }
            synchroniseFolder(folderOf(copy));
            return copy;
        }
        if (ec != std::errc::file_exists || n >= UnreadableNames::kMaxAttempts)
            throw fs::filesystem_error("cannot keep the unreadable file", path, copy, ec);
    }
}

fs::path moveUnreadableFileAside(const fs::path& path) {
    const UnreadableNames names(path);
    for (int n = 1;; ++n) {
        const fs::path aside = names(n);
        // RENAME_NOREPLACE: two files set aside in one second keep both. A file system without it
        // gets the same from a look first.
        int result = ::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE);
        if (result != 0 && errno == EINVAL) {
            struct stat taken {};
            if (::lstat(aside.c_str(), &taken) == 0)
                errno = EEXIST;
            else
                result = ::rename(path.c_str(), aside.c_str());
        }
        if (result == 0) {
            synchroniseFolder(folderOf(path));
            return aside;
        }
        const std::error_code ec = lastError();
        if (ec != std::errc::file_exists || n >= UnreadableNames::kMaxAttempts)
            throw fs::filesystem_error("cannot move the unreadable file aside", path, aside, ec);
    }
}

void writeFileAtomically(const fs::path& path, std::string_view bytes) {
    if (path.filename().empty()) {
        throw fs::filesystem_error("cannot write a file without a name", path,
                                   std::make_error_code(std::errc::invalid_argument));
    }
    const fs::path folder = folderOf(path);
    fs::path temp = path.parent_path() / temporaryName(path);
    // "x": never open a file that someone else created under the same name.
    std::FILE* f = std::fopen(temp.c_str(), "wbx");
    if (!f) throw fs::filesystem_error("cannot create a temporary file", temp, lastError());

    bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    std::error_code ec = ok ? std::error_code{} : lastError();
    // On the disk before the rename: otherwise, after a power loss, the name can point at an empty file.
    if (ok && (std::fflush(f) != 0 || !synchronise(::fileno(f)))) {
        ok = false;
        ec = lastError();
    }
    if (std::fclose(f) != 0 && ok) {
        ok = false;
        ec = lastError();
    }
    if (ok) fs::rename(temp, path, ec);
    if (!ok || ec) {
        std::error_code ignored;
        fs::remove(temp, ignored);
        throw fs::filesystem_error("cannot write the file", path,
                                   ec ? ec : std::make_error_code(std::errc::io_error));
    }
    synchroniseFolder(folder);
    removeStaleTemporaries(folder);
}

} // namespace korvane
