// Strict readers of JSON members shared by the scene and layout decoders.
#include "core/JSONFields.h"

#include "core/ISODate.h"
#include "platform/TextCase.h"

#include <cmath>
#include <limits>

namespace korvane::jsonfields {

namespace {

[[noreturn]] void typeMismatch(std::string_view key, std::string_view expected, const nlohmann::json& value) {
    throw DecodingError("Expected " + std::string(expected) + " for key \"" + std::string(key) +
                        "\" but found " + value.type_name());
}

[[noreturn]] void keyNotFound(std::string_view key) {
    throw DecodingError("No value associated with key \"" + std::string(key) + "\"");
}

} // namespace

const nlohmann::json& requireMember(const nlohmann::json& object, std::string_view key) {
    const nlohmann::json* v = member(object, key);
    if (!v) keyNotFound(key);
    return *v;
}

const nlohmann::json& requireArray(const nlohmann::json& object, std::string_view key) {
    const nlohmann::json& v = requireMember(object, key);
    if (!v.is_array()) throw DecodingError("Expected an array for key \"" + std::string(key) + "\"");
    return v;
}

std::optional<Nanos> optionalDate(const nlohmann::json& object, std::string_view key) {
    auto text = optionalString(object, key);
    if (!text) return std::nullopt;
    auto date = parseISODate(*text);
    if (!date)
        throw DecodingError("Expected date string to be ISO8601-formatted for key \"" + std::string(key) +
                            "\"");
    return date;
}

const nlohmann::json* member(const nlohmann::json& object, std::string_view key) {
    if (!object.is_object()) return nullptr;
    auto it = object.find(key);
    if (it == object.end() || it->is_null()) return nullptr;
    return &*it;
}

void requireObject(const nlohmann::json& value, std::string_view what) {
    if (!value.is_object()) typeMismatch(what, "an object", value);
}

std::string asString(const nlohmann::json& value, std::string_view key) {
    if (!value.is_string()) typeMismatch(key, "a string", value);
    return value.get<std::string>();
}

std::int64_t asInteger(const nlohmann::json& value, std::string_view key) {
    if (value.is_number_integer() && !value.is_number_unsigned()) return value.get<std::int64_t>();
    if (value.is_number_unsigned()) {
        auto u = value.get<std::uint64_t>();
        if (u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
            throw DecodingError("Number for key \"" + std::string(key) + "\" does not fit a 64-bit integer");
        return static_cast<std::int64_t>(u);
    }
    if (value.is_number_float()) {
        double d = value.get<double>();
        // 2^63 itself does not fit, hence the strict upper bound.
        if (std::isfinite(d) && std::trunc(d) == d && d >= -9223372036854775808.0 &&
            d < 9223372036854775808.0)
            return static_cast<std::int64_t>(d);
        throw DecodingError("Number for key \"" + std::string(key) + "\" is not a whole number");
    }
    typeMismatch(key, "an integer", value);
}

double asNumber(const nlohmann::json& value, std::string_view key) {
    if (!value.is_number()) typeMismatch(key, "a number", value);
    return value.get<double>();
}

std::string requireString(const nlohmann::json& object, std::string_view key) {
    return asString(requireMember(object, key), key);
}

std::int64_t requireInteger(const nlohmann::json& object, std::string_view key) {
    return asInteger(requireMember(object, key), key);
}

double requireNumber(const nlohmann::json& object, std::string_view key) {
    return asNumber(requireMember(object, key), key);
}

std::optional<std::string> optionalString(const nlohmann::json& object, std::string_view key) {
    const nlohmann::json* v = member(object, key);
    if (!v) return std::nullopt;
    return asString(*v, key);
}

std::optional<std::int64_t> optionalInteger(const nlohmann::json& object, std::string_view key) {
    const nlohmann::json* v = member(object, key);
    if (!v) return std::nullopt;
    return asInteger(*v, key);
}

std::optional<std::string> canonicalUUID(std::string_view text) {
    if (text.size() != 36) return std::nullopt;
    std::string out(text);
    for (std::size_t i = 0; i < out.size(); ++i) {
        bool hyphenSlot = i == 8 || i == 13 || i == 18 || i == 23;
        unsigned char c = static_cast<unsigned char>(out[i]);
        if (hyphenSlot) {
            if (c != '-') return std::nullopt;
        } else {
            const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
            if (!hex) return std::nullopt;
            out[i] = asciiUpper(static_cast<char>(c));
        }
    }
    return out;
}

std::string requireUUID(const nlohmann::json& object, std::string_view key) {
    std::string text = requireString(object, key);
    auto uuid = canonicalUUID(text);
    if (!uuid)
        throw DecodingError("Attempted to decode UUID from invalid UUID string for key \"" +
                            std::string(key) + "\"");
    return *uuid;
}

} // namespace korvane::jsonfields
