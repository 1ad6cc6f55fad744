// What every fuzz target shares: the input as text or JSON, and a property check that stops the run with
// the input saved when it fails (libFuzzer keeps the input of any abort as a crash artifact).
#pragma once

#include "platform/StoredJSON.h"
#include "platform/UTF8.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <unistd.h>

namespace korvane::fuzz {

[[noreturn]] inline void propertyFailed(const char* file, int line, const char* condition,
                                        const std::string& what) {
    std::fprintf(stderr, "\n%s:%d: property failed: %s\n%s\n", file, line, condition, what.c_str());
    std::abort();
}

inline std::string text(const std::uint8_t* data, std::size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

// The document in `bytes` as the stores read it, or nothing when they would refuse it as not JSON.
inline std::optional<nlohmann::json> parseJSON(const std::string& bytes) {
    try {
        return parseStoredJSON(bytes);
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
}

// A fresh folder for the targets whose reader works on files, removed when the run ends: in memory
// where the machine offers it, since every input is written and read again.
inline const std::filesystem::path& scratchFolder(const char* name) {
    struct Folder {
        std::filesystem::path path;
        ~Folder() {
            std::error_code ec;
            std::filesystem::remove_all(path, ec);
        }
    };
    static const Folder folder = [name] {
        std::error_code ec;
        const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ec)
                                               ? std::filesystem::path("/dev/shm")
                                               : std::filesystem::temp_directory_path();
        Folder f{base / ("korvane-fuzz-" + std::string(name) + "-" + std::to_string(::getpid()))};
        std::filesystem::remove_all(f.path, ec);
        std::filesystem::create_directories(f.path);
        return f;
    }();
    return folder.path;
}

} // namespace korvane::fuzz

#define FUZZ_CHECK(condition, what)                                                                          \
    do {                                                                                                     \
        if (!(condition)) ::korvane::fuzz::propertyFailed(__FILE__, __LINE__, #condition, (what));           \
    } while (0)
