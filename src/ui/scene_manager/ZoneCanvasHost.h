// What the zone canvas of the "Save Scene" window asks of the window it sits in: the model it shows, the
// cell a drag hovers over, and the edits its cells and tray make. The canvas knows nothing else of it.
#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <string>

class QWidget;

namespace korvane {

class SceneSaveViewModel;

// Main thread only; outlives the canvas it hosts.
class ZoneCanvasHost {
  public:
    virtual const SceneSaveViewModel& viewModel() const = 0;

    // The cell a dragged window hovers over, drawn highlighted.
    virtual std::optional<std::int64_t> dropTargetZoneID() const = 0;
    virtual void setDropTargetZoneID(std::optional<std::int64_t> zoneID) = 0;
    // Whether a dragged window dropped on the zone would be taken.
    virtual bool acceptsDrop(const QString& text, std::int64_t zoneID) const = 0;
    // A dragged window dropped on a zone; whether the drop was taken.
    virtual bool dropEntry(const QString& text, std::int64_t zoneID) = 0;

    virtual void setEntryIncluded(const std::string& id, bool included) = 0;
    virtual void removeManualApp(const std::string& id, std::int64_t zoneID) = 0;
    virtual void openAppPicker(std::int64_t zoneID, QWidget* anchor) = 0;

  protected:
    ~ZoneCanvasHost() = default;
};

} // namespace korvane
