// In-memory user defaults, safe to use from any thread.
#include "platform/sim/SimUserDefaults.h"

namespace korvane::sim {

SimUserDefaults::SimUserDefaults() = default;

std::optional<nlohmann::json> SimUserDefaults::object(const std::string& key) {
    std::lock_guard lock(mutex_);
    auto it = values_.find(key);
    if (it == values_.end()) return std::nullopt;
    return it->second;
}

void SimUserDefaults::set(const std::string& key, const nlohmann::json& value) {
    std::lock_guard lock(mutex_);
    if (value.is_null())
        values_.erase(key);
    else
        values_[key] = value;
}

void SimUserDefaults::remove(const std::string& key) {
    std::lock_guard lock(mutex_);
    values_.erase(key);
}

} // namespace korvane::sim
