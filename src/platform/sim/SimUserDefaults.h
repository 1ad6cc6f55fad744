// User defaults kept in memory for the simulated desktop: every test starts from an empty set.
#pragma once

#include "platform/UserDefaults.h"

#include <map>
#include <mutex>

namespace korvane::sim {

class SimUserDefaults final : public platform::UserDefaults {
  public:
    explicit SimUserDefaults();

    std::optional<nlohmann::json> object(const std::string& key) override;
    // Setting null removes the key, as storing nothing does on the real desktop.
    void set(const std::string& key, const nlohmann::json& value) override;
    void remove(const std::string& key) override;

  private:
    std::mutex mutex_;
    std::map<std::string, nlohmann::json> values_;
};

} // namespace korvane::sim
