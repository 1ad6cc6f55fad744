// Atomic file writes, shared by the stores and by the backends' own files.
#include "platform/AtomicFile.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <random>
#include <string>
#include <system_error>

namespace korvane {

namespace fs = std::filesystem;

namespace {

std::error_code lastError() {
    return {errno, std::generic_category()};
}

// Unique among writers in this process (the counter) and across processes (the random part).
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

} // namespace

void writeFileAtomically(const fs::path& path, std::string_view bytes) {
    if (path.filename().empty()) {
        throw fs::filesystem_error("cannot write a file without a name", path,
                                   std::make_error_code(std::errc::invalid_argument));
    }
    fs::path temp = path.parent_path() / temporaryName(path);
    // "x": never open a file that someone else created under the same name.
    std::FILE* f = std::fopen(temp.c_str(), "wbx");
    if (!f) throw fs::filesystem_error("cannot create a temporary file", temp, lastError());

    bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    std::error_code ec = ok ? std::error_code{} : lastError();
    if (std::fflush(f) != 0 && ok) {
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
}

} // namespace korvane
