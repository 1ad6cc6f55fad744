// Text forms of the status-bar events.
#include "app/StatusBarEvent.h"

namespace korvane {

std::string_view toString(StatusBarActionEvent action) {
    switch (action) {
    case StatusBarActionEvent::saveScene:
        return "saveScene";
    case StatusBarActionEvent::updateActiveScene:
        return "updateActiveScene";
    case StatusBarActionEvent::openSceneManager:
        return "openSceneManager";
    case StatusBarActionEvent::openSettings:
        return "openSettings";
    case StatusBarActionEvent::quit:
        return "quit";
    }
    return "quit";
}

std::string_view toString(StatusBarInvalidationReason reason) {
    switch (reason) {
    case StatusBarInvalidationReason::legacyRefreshMenuCall:
        return "legacy.refresh-menu-call";
    case StatusBarInvalidationReason::externalStateChanged:
        return "external.state-changed";
    }
    return "external.state-changed";
}

std::optional<StatusBarInvalidationReason> statusBarInvalidationReasonFrom(std::string_view text) {
    for (auto reason : {StatusBarInvalidationReason::legacyRefreshMenuCall,
                        StatusBarInvalidationReason::externalStateChanged})
        if (toString(reason) == text) return reason;
    return std::nullopt;
}

StatusBarInvalidationEvent StatusBarInvalidationEvent::refreshRequested(StatusBarInvalidationReason reason,
                                                                        std::string source) {
    return StatusBarInvalidationEvent{RefreshRequested{reason, std::move(source)}};
}

StatusBarInvalidationEvent
StatusBarInvalidationEvent::displayTopologyChanged(std::vector<std::string> added,
                                                   std::vector<std::string> removed, std::string source) {
    return StatusBarInvalidationEvent{
        DisplayTopologyChanged{std::move(added), std::move(removed), std::move(source)}};
}

std::string StatusBarInvalidationEvent::description() const {
    if (const auto* refresh = std::get_if<RefreshRequested>(&value))
        return "refreshRequested(reason=" + std::string(toString(refresh->reason)) +
               ",source=" + refresh->source + ")";
    const auto& topology = std::get<DisplayTopologyChanged>(value);
    return "displayTopologyChanged(added=" + std::to_string(topology.addedDisplayUUIDs.size()) +
           ",removed=" + std::to_string(topology.removedDisplayUUIDs.size()) + ",source=" + topology.source +
           ")";
}

} // namespace korvane
