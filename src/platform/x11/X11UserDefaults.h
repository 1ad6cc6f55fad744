// User defaults of the real desktop: one JSON object in "user-defaults.json" in the application-support
// folder, read once, written whole and atomically on every change.
#pragma once

#include "platform/UserDefaults.h"

#include <filesystem>
#include <mutex>
#include <string>

namespace korvane::x11 {

class X11UserDefaults final : public platform::UserDefaults {
  public:
    // `folder` is the application-support folder; it is made when the first value is written.
    explicit X11UserDefaults(std::filesystem::path folder);

    std::optional<nlohmann::json> object(const std::string& key) override;
    // A value nested over 511 levels deep is not stored (an error line says so): the file could not be
    // read back.
    void set(const std::string& key, const nlohmann::json& value) override;
    void remove(const std::string& key) override;

    // $KORVANE_HOME, else $XDG_CONFIG_HOME/Korvane, else ~/.config/Korvane.
    static std::filesystem::path applicationSupportFolder();
    static constexpr const char* kFileName = "user-defaults.json";

  private:
    void writeLocked();

    std::mutex mutex_;
    std::filesystem::path file_;
    nlohmann::json values_ = nlohmann::json::object();
};

} // namespace korvane::x11
