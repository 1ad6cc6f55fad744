// The simulated accessibility service: the attributes, writes and actions of the simulated applications
// and windows, with scripted failures and a log of every write and action.
#pragma once

#include "platform/Accessibility.h"
#include "platform/sim/SimTypes.h"

#include <initializer_list>
#include <vector>

namespace korvane::sim {

class SimModel;

class SimAccessibility final : public platform::Accessibility {
  public:
    explicit SimAccessibility(SimModel& model);

    platform::AXElement applicationElement(pid_t pid) override;
    platform::AXElement systemWideElement() override;
    platform::AXError copyAttribute(const platform::AXElement& element, const std::string& attribute,
                                    platform::AXValue& out) override;
    // Sizes are clamped to the window's limits and snapped to its increments; positions (top-left
    // global) are applied as given.
    // A write of "AXPosition" or "AXSize" to a window whose window manager is slow (movesAfter) returns
    // once it is carried out, the clock advanced as in a blocking sleep.
    platform::AXError setAttribute(const platform::AXElement& element, const std::string& attribute,
                                   const platform::AXValue& value) override;
    // The writes of a move (size, position, size again), logged as such, carried out at once or
    // movesAfter later.
    platform::AXError requestFrame(const platform::AXElement& window, std::optional<Point> position,
                                   std::optional<Size> size) override;
    // "AXMain" and "AXFocused" of a window made to take no focus are not settable.
    platform::AXError isAttributeSettable(const platform::AXElement& element, const std::string& attribute,
                                          bool& settable) override;
    // kGrantedSizeAttribute, on windows made to tell it: the size a write of "AXSize" would leave.
    platform::AXError copyParameterizedAttribute(const platform::AXElement& element,
                                                 const std::string& attribute,
                                                 const platform::AXValue& parameter,
                                                 platform::AXValue& out) override;
    platform::AXError performAction(const platform::AXElement& element, const std::string& action) override;
    platform::AXError pidOf(const platform::AXElement& element, pid_t& out) override;
    platform::AXError setMessagingTimeout(const platform::AXElement& element, float seconds) override;
    // While false, every read, write and action answers apiDisabled.
    bool isProcessTrusted() override;
    std::shared_ptr<platform::AXObserver> createObserver(pid_t pid, platform::AXObserver::Callback callback,
                                                         platform::AXError& error) override;

    // Test hooks.
    // Queues answers for the next calls that name this element and attribute, action or notification
    // (or `kPidOfCall`); `success` lets that call answer normally. Once the queue is used up, every
    // call answers normally again.
    void scriptAXFailure(const platform::AXElement& element, const std::string& name,
                         std::vector<platform::AXError> results);
    void scriptAXFailure(std::uint32_t windowNumber, const std::string& name,
                         std::vector<platform::AXError> results);
    // Queues values for the next successful reads of this element's attribute, answered whatever the model
    // holds: an application that answers with something else than the attribute's kind of value.
    void scriptAXValue(const platform::AXElement& element, const std::string& attribute,
                       std::vector<platform::AXValue> values);
    std::vector<AXCall> axCallLog() const;
    void clearAXCallLog();
    std::vector<std::pair<platform::AXElement, float>> messagingTimeouts() const;
    void setProcessTrusted(bool trusted);
    // The next observer creations for this pid fail with these errors, one each.
    void scriptObserverCreationFailure(pid_t pid, std::vector<platform::AXError> errors);
    std::size_t liveObserverCount(pid_t pid) const;
    // Whether the application element answers "AXAllWindows" (the same windows as "AXWindows").
    void setExposesAllWindows(pid_t pid, bool exposes);
    // What setting "AXFrontmost" to true on the application element answers and does.
    void setAXFrontmostOutcome(pid_t pid, ActivationOutcome outcome);

  private:
    platform::AXError readApplication(pid_t pid, const std::string& attribute, platform::AXValue& out);
    platform::AXError readWindow(const platform::AXElement& element, const std::string& attribute,
                                 platform::AXValue& out);
    // A closed window answers only its number attribute, when it keeps it.
    platform::AXError readClosedWindow(const platform::AXElement& element, const std::string& attribute,
                                       platform::AXValue& out);
    platform::AXError readChild(const platform::AXElement& element, const std::string& attribute,
                                platform::AXValue& out);
    // One write as setAttribute answers and logs it; `late`: a frame written as a request, which the
    // window's window manager carries out in its own time.
    platform::AXError writeLocked(const platform::AXElement& element, const std::string& attribute,
                                  const platform::AXValue& value, bool late);
    platform::AXError writeWindow(const platform::AXElement& element, const std::string& attribute,
                                  const platform::AXValue& value, bool late);
    // How long the window's window manager takes to move it; 0 for anything else.
    Nanos moveDelay(const platform::AXElement& element);
    platform::AXError writeApplication(pid_t pid, const std::string& attribute,
                                       const platform::AXValue& value);
    platform::AXElement focusedElementLocked(pid_t pid);

    SimModel& model_;
};

} // namespace korvane::sim
