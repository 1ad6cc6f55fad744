// The record that names one layout for renaming and deleting from the scene windows.
#pragma once

#include "layouts/LayoutDescriptor.h"

#include <optional>
#include <string>

namespace korvane {

// Only an entry of kind userConfig names a layout file that may be renamed or deleted.
struct LayoutDirectoryEntry {
    std::string id;
    std::string name;
    LayoutDescriptor::Kind kind = LayoutDescriptor::Kind::userConfig;
    std::optional<std::string> displayUUID;

    friend bool operator==(const LayoutDirectoryEntry&, const LayoutDirectoryEntry&) = default;
};

} // namespace korvane
