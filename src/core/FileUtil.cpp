// Atomic writes and the keeping of unreadable files, shared by every store.
#include "core/FileUtil.h"

#include "core/Log.h"
#include "platform/Platform.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
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

std::string utcStamp(Nanos wallClock) {
    namespace chr = std::chrono;
    // Whole seconds, rounded down also before 1970.
    Nanos whole = wallClock / kNanosPerSecond - (wallClock % kNanosPerSecond < 0 ? 1 : 0);
    chr::sys_seconds secs{chr::seconds{whole}};
    auto day = chr::floor<chr::days>(secs);
    chr::year_month_day ymd{day};
    chr::hh_mm_ss hms{secs - day};
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                  static_cast<int>(hms.hours().count()), static_cast<int>(hms.minutes().count()),
                  static_cast<int>(hms.seconds().count()));
    return buf;
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

fs::path preserveUnreadableFile(const fs::path& path) {
    std::string base = path.filename().string() + ".unreadable-" +
                       utcStamp(platform::Platform::current().runLoop().wallClock());
    for (int n = 1;; ++n) {
        fs::path copy = path.parent_path() / (n == 1 ? base : base + "-" + std::to_string(n));
        std::error_code ec;
        // copy_file refuses an existing target, so two preservations in one second keep both.
        if (fs::copy_file(path, copy, fs::copy_options::none, ec)) return copy;
        if (ec != std::errc::file_exists || n >= 1000)
            throw fs::filesystem_error("cannot keep the unreadable file", path, copy, ec);
    }
}

std::optional<std::string> readFileIfPresent(const fs::path& path) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad()) return std::nullopt;
    return bytes.str();
}

void keepUnreadableFileBeforeWriting(const fs::path& path,
                                     const std::function<bool(const std::string& bytes)>& readable) {
    auto existing = readFileIfPresent(path);
    if (!existing || existing->empty() || readable(*existing)) return;
    fs::path kept = preserveUnreadableFile(path);
    Log::app.error("Kept unreadable %{public}s as %{public}s before writing it again", path.string(),
                   kept.string());
}

bool isSafeFileIdentifier(std::string_view id) {
    if (id.empty() || id == "." || id == "..") return false;
    for (std::size_t i = 0; i < id.size(); ++i) {
        const auto c = static_cast<unsigned char>(id[i]);
        if (c == '/' || c == '\\' || c < 0x20 || c == 0x7F) return false;
        // U+0080 to U+009F, the C1 controls, are 0xC2 0x80 to 0xC2 0x9F in UTF-8.
        if (c == 0xC2 && i + 1 < id.size()) {
            const auto next = static_cast<unsigned char>(id[i + 1]);
            if (next >= 0x80 && next <= 0x9F) return false;
        }
    }
    return true;
}

} // namespace korvane
