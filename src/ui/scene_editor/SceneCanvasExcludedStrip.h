// The Excluded strip of the scene canvas: the scene's applications that get no zone on this display, as
// small chips in a row over the canvas's bottom-left corner; applications dragged onto it are excluded.
#pragma once

#include "ui/scene_editor/SceneCanvasAppEntry.h"
#include "ui/scene_editor/SceneCanvasZoneCell.h"

#include <QWidget>

#include <string>
#include <vector>

class QLabel;
class QScrollArea;

namespace korvane {

class SceneGeometryCanvasModel;

// The strip of applications on no zone; texts dropped on it exclude their application.
class SceneCanvasExcludedStrip : public QWidget {
  public:
    SceneCanvasExcludedStrip(SceneGeometryCanvasModel& model, QWidget* parent);

    void setApps(const std::vector<SceneCanvasAppEntry>& apps, const SceneCanvasDragStarter& startDrag);
    const std::vector<SceneCanvasExcludedAppIcon*>& chips() const { return chips_; }
    bool acceptDrop(const std::vector<std::string>& texts);
    // The chips' payloads name the model's display; the next setApps keeps the chips that show the same.
    void setModel(SceneGeometryCanvasModel& model);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    SceneGeometryCanvasModel* model_;
    std::vector<SceneCanvasAppEntry> apps_;
    QLabel* title_;
    QScrollArea* scroll_;
    QWidget* row_;
    std::vector<SceneCanvasExcludedAppIcon*> chips_;
};

} // namespace korvane
