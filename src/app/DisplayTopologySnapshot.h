// The connected screens at one moment, in a fixed order, with a digest text of all of it: two snapshots
// describe the same arrangement exactly when their digests are equal. The digest is compared, never
// parsed back.
#pragma once

#include "platform/Geometry.h"

#include <string>
#include <vector>

namespace korvane {

namespace platform {
class Screens;
}

struct DisplayTopologySnapshot {
    struct Entry {
        std::string displayUUID;
        Rect frame;        // bottom-left global coordinates, as the screens give them
        Rect visibleFrame; // the frame less menu bar and dock
        bool isMain = false;
        double backingScaleFactor = 1;

        friend bool operator==(const Entry&, const Entry&) = default;
    };

    // Sorted by display UUID (plain text order), then by the frame's minimum x; stable otherwise.
    std::vector<Entry> entries;
    // Per entry "UUID|x:X,y:Y,w:W,h:H|x:..,y:..,w:..,h:..|main:1|scale:2.00" (frame, then visible frame,
    // each number rounded half away from zero), entries joined by ";". Empty without screens.
    std::string digest;

    // Main thread.
    static DisplayTopologySnapshot capture(platform::Screens& screens);
    static std::string digestOf(const std::vector<Entry>& entries);
};

} // namespace korvane
