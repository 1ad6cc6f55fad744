// User defaults: small typed settings under string keys, absent until set.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace korvane::platform {

class UserDefaults {
  public:
    virtual ~UserDefaults() = default;
    // Values are kept as JSON: booleans, numbers, text, lists; dates as seconds since 1970 (number).
    virtual std::optional<nlohmann::json> object(const std::string& key) = 0;
    virtual void set(const std::string& key, const nlohmann::json& value) = 0;
    virtual void remove(const std::string& key) = 0;

    // Typed reads: nothing when absent or of another type.
    std::optional<bool> boolValue(const std::string& key) {
        auto v = object(key);
        if (v && v->is_boolean()) return v->get<bool>();
        return std::nullopt;
    }
    std::optional<double> numberValue(const std::string& key) {
        auto v = object(key);
        if (v && v->is_number()) return v->get<double>();
        return std::nullopt;
    }
    std::optional<std::string> stringValue(const std::string& key) {
        auto v = object(key);
        if (v && v->is_string()) return v->get<std::string>();
        return std::nullopt;
    }
    std::optional<std::vector<std::string>> stringList(const std::string& key) {
        auto v = object(key);
        if (!v || !v->is_array()) return std::nullopt;
        std::vector<std::string> out;
        for (const auto& e : *v)
            if (e.is_string()) out.push_back(e.get<std::string>());
        return out;
    }
};

} // namespace korvane::platform
