// Writing and reading the drag text of the scene canvas's chips.
#include "ui/scene_editor/SceneCanvasDrag.h"

#include "core/JSONFields.h"

#include <nlohmann/json.hpp>

#include <array>
#include <cstdint>

namespace korvane {

namespace {

constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string base64(std::string_view bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::uint32_t chunk = static_cast<std::uint8_t>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) chunk |= static_cast<std::uint8_t>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size()) chunk |= static_cast<std::uint8_t>(bytes[i + 2]);
        out += kAlphabet[(chunk >> 18) & 63];
        out += kAlphabet[(chunk >> 12) & 63];
        out += i + 1 < bytes.size() ? kAlphabet[(chunk >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? kAlphabet[chunk & 63] : '=';
    }
    return out;
}

// Padded, no white space, no characters outside the alphabet, nothing after the padding.
std::optional<std::string> fromBase64(std::string_view text) {
    if (text.size() % 4 != 0) return std::nullopt;
    std::array<int, 256> value{};
    value.fill(-1);
    for (std::size_t i = 0; i < kAlphabet.size(); ++i)
        value[static_cast<unsigned char>(kAlphabet[i])] = static_cast<int>(i);
    std::size_t padding = 0;
    if (!text.empty() && text.back() == '=') ++padding;
    if (text.size() > 1 && text[text.size() - 2] == '=') ++padding;
    std::string out;
    for (std::size_t i = 0; i < text.size(); i += 4) {
        std::uint32_t chunk = 0;
        const bool last = i + 4 == text.size();
        for (std::size_t j = 0; j < 4; ++j) {
            const char c = text[i + j];
            int v = value[static_cast<unsigned char>(c)];
            if (c == '=' && last && j >= 4 - padding) v = 0;
            if (v < 0) return std::nullopt;
            chunk = (chunk << 6) | static_cast<std::uint32_t>(v);
        }
        const std::size_t bytes = last ? 3 - padding : 3;
        for (std::size_t j = 0; j < bytes; ++j)
            out += static_cast<char>((chunk >> (16 - 8 * j)) & 0xff);
    }
    return out;
}

} // namespace

std::string sceneCanvasDragText(const SceneCanvasDragPayload& payload) {
    nlohmann::ordered_json json{{"appID", payload.appID},
                                {"bundleID", payload.bundleID},
                                {"sourceDisplayUUID", payload.sourceDisplayUUID}};
    if (payload.sourceZoneID) json["sourceZoneID"] = *payload.sourceZoneID;
    try {
        return std::string(kSceneCanvasDragPrefix) + base64(json.dump());
    } catch (const nlohmann::json::exception&) {
        return jsonfields::canonicalUUID(payload.appID).value_or(payload.appID);
    }
}

std::optional<SceneCanvasDragPayload> sceneCanvasDragPayload(std::string_view text) {
    if (text.substr(0, kSceneCanvasDragPrefix.size()) != kSceneCanvasDragPrefix) return std::nullopt;
    const std::optional<std::string> bytes = fromBase64(text.substr(kSceneCanvasDragPrefix.size()));
    if (!bytes) return std::nullopt;
    const nlohmann::json json = nlohmann::json::parse(*bytes, nullptr, false);
    if (!json.is_object()) return std::nullopt;
    const auto string = [&json](const char* key) -> std::optional<std::string> {
        auto found = json.find(key);
        if (found == json.end() || !found->is_string()) return std::nullopt;
        return found->get<std::string>();
    };
    const auto appID = string("appID");
    const auto bundleID = string("bundleID");
    const auto source = string("sourceDisplayUUID");
    if (!appID || !bundleID || !source) return std::nullopt;
    const auto uuid = jsonfields::canonicalUUID(*appID);
    if (!uuid) return std::nullopt;
    SceneCanvasDragPayload payload{*uuid, *bundleID, *source, std::nullopt};
    if (auto zone = json.find("sourceZoneID"); zone != json.end() && !zone->is_null()) {
        if (!zone->is_number_integer()) return std::nullopt;
        if (zone->is_number_unsigned() && zone->get<std::uint64_t>() > static_cast<std::uint64_t>(INT64_MAX))
            return std::nullopt;
        payload.sourceZoneID = zone->get<std::int64_t>();
    }
    return payload;
}

std::optional<std::string> sceneCanvasDraggedAppID(std::string_view text) {
    if (auto payload = sceneCanvasDragPayload(text)) return payload->appID;
    return jsonfields::canonicalUUID(text);
}

std::string_view sceneCanvasDisplayKey(std::string_view displayUUID) {
    return displayUUID.substr(0, displayUUID.find('#'));
}

} // namespace korvane
