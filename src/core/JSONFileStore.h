// The one way a store keeps a record in a JSON file: read whole and decoded or nothing, an empty record
// when the file is missing or unreadable, written whole and atomically with the bytes of an unreadable
// file kept beside it first, and a failed write said once per cause.
#pragma once

#include "core/AppSupport.h"
#include "core/FileUtil.h"
#include "core/JSONEncoder.h"
#include "core/Log.h"
#include "platform/StoredJSON.h"

#include <nlohmann/json.hpp>

#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace korvane {

// `Record` is default-constructible (the empty record), reads itself with a static
// `fromJSON(const nlohmann::json&)` that throws on anything it refuses, and writes itself with
// `toJSON()` or, when its dates follow the encoder, `toJSON(const JSONEncoder&)`.
template <class Record> struct JSONFileStore {
    JSONFileStore() = delete;

    // The record in `bytes`; nothing when they are not JSON (nested too deep included) or the record
    // refuses them.
    static std::optional<Record> decode(std::string bytes) {
        try {
            return decodeStoredJSON(std::move(bytes), [](const nlohmann::json& json) {
                return std::optional<Record>(Record::fromJSON(json));
            });
        } catch (const std::exception&) {
            return std::nullopt;
        }
    }

    // The record's bytes in the encoder's form (text that is not UTF-8 written with U+FFFD in its place).
    static std::string encode(const Record& record, const JSONEncoder& encoder) {
        if constexpr (requires { record.toJSON(encoder); })
            return encoder.encode(record.toJSON(encoder));
        else
            return encoder.encode(record.toJSON());
    }

    // The record in the file at `path`; the empty record when the file is missing, unreadable, empty or
    // does not decode. Never throws and logs nothing: the file stays as it is until the next save.
    static Record load(const std::filesystem::path& path) {
        try {
            auto bytes = readFileIfPresent(path);
            if (!bytes || bytes->empty()) return Record{};
            return decode(std::move(*bytes)).value_or(Record{});
        } catch (const std::exception&) {
            return Record{};
        }
    }

    // load() of the file `fileName` in the application-support folder; the empty record also when the
    // folder cannot be had.
    static Record loadFromAppSupport(std::string_view fileName) {
        try {
            return load(appSupportDirectory() / fileName);
        } catch (const std::exception&) {
            return Record{};
        }
    }

    // loadFromAppSupport() for a store whose file is not written again at every start: a file that is
    // there but gives the empty record (it cannot be read or does not decode) would go unnoticed, so it is
    // named on the "app" log with why and `consequence` (logUnreadableFile, once per cause).
    static Record loadFromAppSupport(std::string_view fileName, const std::string& consequence) {
        std::filesystem::path path;
        StoreFile file;
        try {
            path = appSupportDirectory() / fileName;
            file = readStoreFile(path);
        } catch (const std::exception&) {
            return Record{};
        }
        std::string why;
        if (file.state == StoreFile::State::missing ||
            (file.state == StoreFile::State::read && file.bytes.empty())) {
            noteReadableFile(path);
            return Record{};
        }
        if (file.state == StoreFile::State::read) {
            if (auto record = decode(std::move(file.bytes))) {
                noteReadableFile(path);
                return std::move(*record);
            }
            why = "does not decode";
        } else {
            why = describeUnreadFile(file);
        }
        logUnreadableFile(path, why, consequence, Log::app);
        return Record{};
    }

    // Writes the record over `path` atomically. Before that, a file there whose bytes do not decode or
    // could not be read is kept as "NAME.unreadable-<UTC stamp>" and logged (see
    // keepUnreadableFileBeforeWriting), since the record being written was most likely loaded empty from
    // it. Throws on failure; nothing is written when the record cannot be encoded or the file not kept.
    static void save(const std::filesystem::path& path, const Record& record, const JSONEncoder& encoder) {
        const std::string bytes = encode(record, encoder);
        keepUnreadableFileBeforeWriting(
            path, [](std::string existing) { return decode(std::move(existing)).has_value(); });
        writeFileAtomically(path, bytes);
    }

    // save() to the file `fileName` in the application-support folder. A failure leaves the previous file
    // whole and is said on the "app" log, naming the file and why, once per cause (logFailedWrite); the
    // next save writes the whole record again.
    static void saveToAppSupport(std::string_view fileName, const Record& record,
                                 const JSONEncoder& encoder) {
        std::filesystem::path path(fileName);
        try {
            path = appSupportDirectory() / fileName;
            save(path, record, encoder);
        } catch (const std::filesystem::filesystem_error& e) {
            // Without a folder, the file is named in the folder that could not be had.
            const bool withoutFolder = !path.has_parent_path();
            logFailedWrite(withoutFolder ? e.path1() / fileName : path, e, Log::app);
            return;
        } catch (const std::exception& e) {
            logFailedWrite(path, e, Log::app);
            return;
        }
        noteSucceededWrite(path);
    }
};

} // namespace korvane
