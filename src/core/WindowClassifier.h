// Tells real windows of other applications from decoys (invisible or tiny windows, small untitled
// auxiliary windows, the thin ghost strips of Chromium-family browsers), from facts the caller gathered.
#pragma once

#include "platform/Geometry.h"
#include "platform/WindowServer.h"

#include <map>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace korvane {

// Stateless; every test is a pure function of its arguments and safe on any thread.
struct WindowClassifier {
    struct Candidate {
        std::optional<WindowID> windowID;
        pid_t pid = 0;
        std::optional<std::string> bundleID;
        std::string title;  // "AXTitle", empty when none
        std::string cgName; // the window list's name, empty when none
        std::optional<Rect> cgBounds;
        std::optional<Rect> axFrame;
        std::optional<double> alpha;
        std::optional<std::string> subrole;
        std::optional<bool> isMain;
        std::optional<bool> isHidden;
        std::optional<bool> isMinimized;
    };

    struct GroupContext {
        double maxArea = 0; // largest window area of the group; 0 when none has a frame
        bool hasMain = false;
    };

    static bool isChromiumFamilyBrowser(const std::optional<std::string>& bundleID);
    static bool isVisible(const Candidate& c);
    static bool isBrowserGhostStrip(const Candidate& c);
    static std::string groupKey(const Candidate& c);
    static std::map<std::string, GroupContext> groupContexts(const std::vector<Candidate>& candidates);
    static bool shouldIgnore(const Candidate& c, const GroupContext& context);
};

} // namespace korvane
