// Strict readers of JSON members for the stores' decoders: a missing key, a value of the wrong type
// or a fractional number in an integer field is an error, and null reads as absent.
#pragma once

#include "core/DecodingError.h"
#include "platform/Time.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace korvane {

namespace jsonfields {

// The member under `key`, or nullptr when it is absent or null. `object` must be an object.
const nlohmann::json* member(const nlohmann::json& object, std::string_view key);
// The member under `key`; throws when it is absent or null.
const nlohmann::json& requireMember(const nlohmann::json& object, std::string_view key);
// The member under `key` when it is an array; throws otherwise.
const nlohmann::json& requireArray(const nlohmann::json& object, std::string_view key);
// An ISO 8601 date (see core/ISODate.h) as a wall-clock instant; nothing when absent or null.
std::optional<Nanos> optionalDate(const nlohmann::json& object, std::string_view key);

// Throws unless `value` is an object; `what` names it in the error.
void requireObject(const nlohmann::json& value, std::string_view what);

// Conversions of one value; `key` only names it in the error.
std::string asString(const nlohmann::json& value, std::string_view key);
// Accepts whole numbers only, also when written as 3.0; refuses 1.5 and values outside 64 bits.
std::int64_t asInteger(const nlohmann::json& value, std::string_view key);
double asNumber(const nlohmann::json& value, std::string_view key);

std::string requireString(const nlohmann::json& object, std::string_view key);
std::int64_t requireInteger(const nlohmann::json& object, std::string_view key);
double requireNumber(const nlohmann::json& object, std::string_view key);
std::optional<std::string> optionalString(const nlohmann::json& object, std::string_view key);
std::optional<std::int64_t> optionalInteger(const nlohmann::json& object, std::string_view key);

// UUID text in the 8-4-4-4-12 form, either case; nothing otherwise. The result is upper-case.
std::optional<std::string> canonicalUUID(std::string_view text);
std::string requireUUID(const nlohmann::json& object, std::string_view key);

} // namespace jsonfields
} // namespace korvane
