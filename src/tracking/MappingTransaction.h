// Placement transactions: an intent to put a window into a zone is opened, resolved to a window number
// and committed only while the target display's epoch is unchanged and the intent has not run out of time.
#pragma once

#include "core/WinRef.h"
#include "platform/Time.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <variant>

namespace korvane {

enum class MappingIntentStage { intent, resolved, committed, expired, cancelled };

std::string_view toString(MappingIntentStage stage);
std::optional<MappingIntentStage> mappingIntentStageFrom(std::string_view text);

enum class MappingIntentSource {
    layoutApply,
    hotkeyPush,
    manualPush,
    trackerCreate,
    autoLaunch,
    gather,
    gatherGlobal,
    displayChange
};

std::string_view toString(MappingIntentSource source);
std::optional<MappingIntentSource> mappingIntentSourceFrom(std::string_view text);

// Dates are wall-clock instants (nanoseconds since 1970).
struct MappingIntent {
    std::string id; // UUID text
    MappingIntentSource source = MappingIntentSource::manualPush;
    std::string targetDisplayUUID;
    std::int64_t targetZoneID = 0;
    std::int64_t displayEpoch = 0;
    std::optional<pid_t> pid; // absent rather than 0
    std::optional<std::string> bundleID;
    std::optional<WindowID> requestedWindowID;
    Nanos createdAt = 0;
    Nanos expiresAt = 0;
    MappingIntentStage stage = MappingIntentStage::intent;
    std::optional<WindowID> resolvedWindowID;
    std::optional<Nanos> committedAt;
    std::string note;

    bool isOpen() const {
        return stage == MappingIntentStage::intent || stage == MappingIntentStage::resolved;
    }

    friend bool operator==(const MappingIntent&, const MappingIntent&) = default;
};

// The outcome of a commit.
struct MappingCommitValidation {
    struct Committed {
        friend bool operator==(const Committed&, const Committed&) = default;
    };
    struct StaleEpoch {
        std::int64_t expected = 0;
        std::int64_t actual = 0;
        friend bool operator==(const StaleEpoch&, const StaleEpoch&) = default;
    };
    struct MismatchedTarget {
        std::string expectedDisplay;
        std::string actualDisplay;
        std::int64_t expectedRegion = 0;
        std::int64_t actualRegion = 0;
        friend bool operator==(const MismatchedTarget&, const MismatchedTarget&) = default;
    };
    struct MissingIntent {
        friend bool operator==(const MissingIntent&, const MissingIntent&) = default;
    };
    struct Expired {
        friend bool operator==(const Expired&, const Expired&) = default;
    };
    struct Unresolved {
        friend bool operator==(const Unresolved&, const Unresolved&) = default;
    };

    std::variant<Committed, StaleEpoch, MismatchedTarget, MissingIntent, Expired, Unresolved> value;

    template <class T> bool is() const { return std::holds_alternative<T>(value); }
    template <class T> const T* as() const { return std::get_if<T>(&value); }
    friend bool operator==(const MappingCommitValidation&, const MappingCommitValidation&) = default;
};

// Main thread only. Moves no window and touches no zone state: it only keeps the record.
class MappingTransactionCoordinator {
  public:
    MappingTransactionCoordinator();

    // The display's epoch; 0 for a display that was never raised.
    std::int64_t currentEpoch(const std::string& displayUUID) const;

    // Invalidates every intent opened for the display so far; returns the new epoch.
    std::int64_t bumpEpoch(const std::string& displayUUID, const std::string& reason);

    // Marks open intents past their expiry as expired; returns how many.
    int expireStale(std::optional<Nanos> now = std::nullopt);

    // Drops closed intents that ended more than `olderThan` seconds ago (at least 1 s). Open ones stay;
    // an age that is not a number drops nothing.
    void prune(double olderThan);

    std::optional<MappingIntent> intent(const std::string& id) const;
    void cancel(const std::string& intentID, const std::string& note);
    // Closes an intent whose window the move left out of its zone: cancelled as "move failed", with an
    // error line naming it, so that no window is committed to a zone that does not hold it.
    void cancelAfterFailedMove(const std::string& intentID, std::optional<WindowID> windowID,
                               const std::string& context);
    bool resolve(const std::string& intentID, WindowID windowID);
    MappingCommitValidation commit(const std::string& intentID, const std::string& displayUUID,
                                   std::int64_t regionID, std::optional<WindowID> windowID);

    // An open intent of that source waiting for that application (absent matches only absent).
    std::optional<MappingIntent> openIntent(MappingIntentSource source,
                                            const std::optional<std::string>& bundleID);

    // One claim line on the "wm" log.
    void log(const std::string& event, const MappingIntent& intent, std::optional<WindowID> windowID,
             std::optional<pid_t> pid, double elapsedMs) const;

    // Open and closed intents by id, until pruned. Callers that create an intent store it here.
    std::map<std::string, MappingIntent> intents;
    std::map<std::string, std::int64_t> displayEpochByUUID;
    // The current date; replaceable by a fixed clock. Defaults to the platform's wall clock.
    std::function<Nanos()> nowProvider;
};

} // namespace korvane
