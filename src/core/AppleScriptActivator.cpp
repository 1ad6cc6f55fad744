// Running the activation script and remembering the applications that refused it.
#include "core/AppleScriptActivator.h"

#include "core/Log.h"
#include "platform/Platform.h"
#include "platform/ProcessWide.h"

namespace korvane {

namespace {

platform::ProcessWide<AppleScriptActivator> gShared;

bool isControl(unsigned char c) {
    return c < 0x20 || c == 0x7f;
}

// A source that no script could be made from: control characters other than line breaks and tabs.
bool sourceIsUsable(const std::string& source) {
    for (unsigned char c : source)
        if (isControl(c) && c != '\n' && c != '\t') return false;
    return true;
}

} // namespace

AppleScriptActivator::AppleScriptActivator(platform::Platform& platform) : platform_(platform) {}

std::shared_ptr<AppleScriptActivator> AppleScriptActivator::shared() {
    return gShared.get([](platform::Platform& p) { return std::make_shared<AppleScriptActivator>(p); });
}

void AppleScriptActivator::setShared(std::shared_ptr<AppleScriptActivator> instance) {
    gShared.set(std::move(instance));
}

std::string AppleScriptActivator::script(const std::string& bundleID) {
    return "tell application id \"" + bundleID + "\"\n    activate\nend tell";
}

bool AppleScriptActivator::canQuote(const std::string& bundleID) {
    for (unsigned char c : bundleID)
        if (c == '"' || c == '\\' || isControl(c)) return false;
    return true;
}

bool AppleScriptActivator::isDenied(const std::string& bundleID) {
    std::lock_guard guard(lock);
    return deniedBundles.count(bundleID) > 0;
}

bool AppleScriptActivator::activate(const std::string& bundleID) {
    if (isDenied(bundleID)) return false;
    return runScript(script(bundleID), "activate " + bundleID, bundleID);
}

bool AppleScriptActivator::runScript(const std::string& source, const std::string& tag,
                                     const std::optional<std::string>& bundleID) {
    Log::wm.info("[AppIdActivation:%s] Executing activation request", tag);
    // An identifier that could close the quotes or start a new line would make the script say
    // something else than "activate this application"; no script is made from it.
    if (!sourceIsUsable(source) || (bundleID && !canQuote(*bundleID))) {
        Log::wm.error("[AppIdActivation:%s] Failed to create activation request", tag);
        return false;
    }
    const platform::ScriptResult result = platform_.workspace().runScript(source);
    if (result.ok) {
        Log::wm.info("[AppIdActivation:%s] Execution succeeded", tag);
        return true;
    }
    const std::string message = result.message.empty() ? "unknown error" : result.message;
    const long number = result.errorNumber == 0 ? -1 : result.errorNumber;
    if ((number == -1743 || number == -1744) && bundleID) {
        markDenied(*bundleID);
        return false;
    }
    Log::wm.error("[AppIdActivation:%s] Execution failed: %s (code=%ld)", tag, message, number);
    return false;
}

void AppleScriptActivator::markDenied(const std::string& bundleID) {
    bool firstTime;
    {
        std::lock_guard guard(lock);
        deniedBundles.insert(bundleID);
        firstTime = deniedBundlesLogged.insert(bundleID).second;
    }
    if (firstTime)
        Log::wm.error("[AppIdActivation] Activation refused for bundle=%s; suppress activation by app id "
                      "retries until relaunch",
                      bundleID);
}

} // namespace korvane
