// The layouts the system knows: the built-in ones and the user layouts read from the Layouts folder,
// looked up by id for everyone else; the user layout files created, renamed, deleted and saved on
// request of the scene windows; and the one-time move of user layouts with legacy ids to new ids.
#pragma once

#include "layouts/ConfigZoneSet.h"
#include "layouts/LayoutDirectoryEntry.h"
#include "layouts/LayoutTemplateResolver.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

namespace platform {
class UserDefaults;
}

// Main thread only. Every failure of a file operation is logged and absorbed, never thrown.
class LayoutLibrary : public LayoutTemplateResolver {
  public:
    using IDMapping = std::map<std::string, std::string>; // old layout id -> new layout id

    explicit LayoutLibrary(platform::UserDefaults& defaults);

    // Told after a user layout was renamed, deleted or saved, with where the change came from.
    std::function<void(const std::string& source)> onUserLayoutsChanged;
    // Asked to give a display its records after a new layout was made for it; gets the display UUID as
    // the caller gave it (not empty, possibly untrimmed).
    std::function<void(const std::string& displayUUID)> onLayoutCreatedForDisplay;
    // Rewrites whatever else names the migrated ids; a throw counts as a failed migration.
    std::function<void(const IDMapping& mapping)> rewriteLayoutReferences;

    // The user layouts, in the order they were loaded (file-name order).
    const std::vector<ConfigZoneSet>& regionSets() const { return regionSets_; }

    // Start-up, in this order. The migration sets its flag after its attempt, failed or not.
    void migrateLayoutIDsIfNeeded();
    // Keeps the previous list when the folder cannot be read.
    void reloadUserLayouts();

    // Each acts on the file that holds the layout, and on that layout's entry alone (see ZoneSetStore).
    // Rename says false on any refusal or failure; delete still reloads; save returns the id whether or
    // not it wrote.
    bool renameLayout(const LayoutDirectoryEntry& entry, const std::string& newName);
    void deleteLayoutFromManager(const LayoutDirectoryEntry& entry);
    std::string saveUserLayout(const ConfigZoneSet& layout);
    // The same save, for callers that go on to name the layout elsewhere: the id once the file is
    // written, nothing when it was not.
    std::optional<std::string> storeUserLayout(const ConfigZoneSet& layout);
    // Writes a new empty user layout under a fresh id and reloads.
    void createNewLayout(const std::optional<std::string>& displayUUID);

    // LayoutTemplateResolver.
    std::optional<ConfigZoneSet> regionSet(const std::string& id) const override;
    std::optional<LayoutNode> layoutTree(const ConfigZoneSet& set) const override;
    std::vector<ConfigZoneSet> builtinLayoutTemplates() const override;

    static constexpr const char* kLayoutIDMigrationFlag = "Korvane.layoutIDMigrationDone";

  private:
    void changed(const std::string& source) const;

    platform::UserDefaults& defaults_;
    std::vector<ConfigZoneSet> regionSets_;
};

} // namespace korvane
