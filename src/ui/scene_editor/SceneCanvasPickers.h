// The windows a scene canvas opens over itself: the layout template sheet and a zone's application
// picker. They follow the canvas model's flags, stand over the window that holds the canvas, and give
// that window the keyboard back when they close.
#pragma once

#include "platform/Geometry.h"
#include "ui/scene_editor/LayoutTemplatePickerSheet.h"
#include "ui/switchers/AppPickerView.h"

#include <QPointer>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QRect;
class QWidget;

namespace korvane {

class SceneGeometryCanvasModel;

namespace platform {
class Platform;
}

// Main thread only. `canvas` parents the pickers, which makes them transient for its window;
// `keyboardTaker` is the canvas's widget that takes the keys once a picker has closed.
class SceneCanvasPickers {
  public:
    SceneCanvasPickers(platform::Platform& platform, QWidget* canvas, QWidget* keyboardTaker);
    // Pickers still open close with the canvas, their parent, without reaching back here.
    ~SceneCanvasPickers();
    SceneCanvasPickers(const SceneCanvasPickers&) = delete;
    SceneCanvasPickers& operator=(const SceneCanvasPickers&) = delete;

    // Opens or closes each picker as the model's flags say now. `addButton` finds the "+" of a zone,
    // beside which that zone's application picker stands.
    void refresh(const std::shared_ptr<SceneGeometryCanvasModel>& model,
                 const std::function<QWidget*(std::int64_t zoneID)>& addButton);
    // Closes both, as for a canvas that is given another model.
    void close();

    LayoutTemplatePickerSheet* templatePicker() const { return templatePicker_; }
    AppPickerView* appPicker() const { return appPicker_; }

  private:
    void refreshTemplatePicker(const std::shared_ptr<SceneGeometryCanvasModel>& model);
    void openAppPicker(const std::shared_ptr<SceneGeometryCanvasModel>& model, std::int64_t zoneID,
                       QWidget* addButton);
    // The visible frame (bottom-left global) of the screen holding the middle of that rectangle (the
    // toolkit's global coordinates); nothing where no screen does.
    std::optional<Rect> visibleFrameAt(const QRect& qtGlobal) const;
    // Through the window manager: the window that holds the canvas asks to be active again.
    void takeKeyboardBack();

    platform::Platform& platform_;
    QWidget* canvas_;
    QWidget* keyboardTaker_;
    QPointer<LayoutTemplatePickerSheet> templatePicker_;
    QPointer<AppPickerView> appPicker_;
    std::optional<std::int64_t> appPickerZone_;
};

} // namespace korvane
