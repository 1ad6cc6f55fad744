// The user info of the workspace's application notifications, written by the backends and read by the
// subsystems that follow applications.
#include "platform/Workspace.h"

#include <limits>

namespace korvane::platform {

namespace {

const char* policyName(ActivationPolicy policy) {
    switch (policy) {
    case ActivationPolicy::regular:
        return "regular";
    case ActivationPolicy::accessory:
        return "accessory";
    case ActivationPolicy::prohibited:
        return "prohibited";
    }
    return "regular";
}

std::optional<std::string> text(const nlohmann::json& info, const char* key) {
    auto it = info.find(key);
    if (it == info.end() || !it->is_string()) return std::nullopt;
    return it->get<std::string>();
}

} // namespace

nlohmann::json applicationUserInfo(const RunningApplication& app) {
    nlohmann::json info = {{"pid", app.pid}, {"activationPolicy", policyName(app.activationPolicy)}};
    if (app.bundleID) info["bundleID"] = *app.bundleID;
    if (app.name) info["name"] = *app.name;
    return info;
}

std::optional<RunningApplication> applicationFromUserInfo(const nlohmann::json& info) {
    if (!info.is_object()) return std::nullopt;
    auto pid = info.find("pid");
    if (pid == info.end() || !pid->is_number_integer()) return std::nullopt;
    const auto value = pid->get<std::int64_t>();
    if (value <= 0 || value > std::numeric_limits<pid_t>::max()) return std::nullopt;
    RunningApplication app;
    app.pid = static_cast<pid_t>(value);
    app.bundleID = text(info, "bundleID");
    app.name = text(info, "name");
    if (auto policy = text(info, "activationPolicy")) {
        if (*policy == "accessory") app.activationPolicy = ActivationPolicy::accessory;
        if (*policy == "prohibited") app.activationPolicy = ActivationPolicy::prohibited;
    }
    return app;
}

} // namespace korvane::platform
