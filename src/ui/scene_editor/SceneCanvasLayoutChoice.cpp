// The scene canvas's layout: loading the display's geometry, copying a template into geometry of its own,
// and choosing another template, written to the scene file at once.
#include "ui/scene_editor/SceneGeometryCanvasModel.h"

#include "core/Log.h"
#include "layouts/LayoutTemplateResolver.h"
#include "layouts/LayoutTreeEditorModel.h"
#include "platform/Platform.h"
#include "scenes/SceneStore.h"
#include "scenes/model/ScreenContext.h"
#include "ui/scene_editor/SceneCanvasTree.h"

#include <exception>

namespace korvane {

void SceneGeometryCanvasModel::resetFromScene() {
    bundleResolveToken_ = platform_.processInfo().makeUUID();
    setForceInlineEditing(false);
    setGeometryDirty(false);
    setWindowHintsDirty(false);
    splitPreviewMode_.reset();
    splitPreviewRatio_ = 0.5;
    selectedPath_.reset();
    hoverPath_.reset();
    hoveredZoneID_.reset();

    const LayoutNode tree = loadedTree(inputs_.scene);
    std::string editorID = "scene-" + inputs_.scene.id;
    for (char& c : editorID)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    treeEditor_ = std::make_unique<LayoutTreeEditorModel>(canvasTreeFromStored(tree), inputs_.displayUUID,
                                                          editorID, inputs_.scene.name);

    rebuildZoneApps();
    refreshGeometry(false);
    syncBridge();
    changed();
}

bool SceneGeometryCanvasModel::ensureEditableGeometry() {
    if (!currentGeometrySource().isTemplate() || forceInlineEditing_) return true;
    if (!currentGeometrySource().isTemplate()) return false;
    customizeLayout();
    return true;
}

void SceneGeometryCanvasModel::customizeLayout() {
    if (!currentGeometrySource().isTemplate()) return;
    setForceInlineEditing(true);
    setGeometryDirty(true);
    splitPreviewMode_.reset();
    splitPreviewRatio_ = 0.5;
    syncBridge();
    showHint("Template copied to editable geometry");
}

void SceneGeometryCanvasModel::openTemplatePicker(TemplatePickMode mode) {
    templatePickMode_ = mode;
    showTemplatePicker_ = true;
    changed();
}

void SceneGeometryCanvasModel::dismissTemplatePicker() {
    showTemplatePicker_ = false;
    changed();
}

std::vector<ConfigZoneSet> SceneGeometryCanvasModel::templatePickerTemplates() const {
    if (!inputs_.layoutTemplateResolver) return {};
    return inputs_.layoutTemplateResolver->builtinLayoutTemplates();
}

void SceneGeometryCanvasModel::applyTemplate(const ConfigZoneSet& layout) {
    if (!inputs_.store) return;
    const ScreenContext screens = ScreenContext::capture(platform_.screens());
    std::optional<WMScene> stored = inputs_.store->loadScene(inputs_.scene.id, screens);
    if (!stored) return;
    stored->layoutRefsByDisplay[inputs_.displayUUID] = layout.id;
    stored->updatedAt = platform_.runLoop().wallClock();
    try {
        inputs_.store->save(*stored, screens);
    } catch (const std::exception& e) {
        Log::sceneManager.error("Failed to apply Scene template: %s", e.what());
        showHint("Layout change failed");
        return;
    }
    setForceInlineEditing(false);
    setGeometryDirty(false);
    setWindowHintsDirty(false);
    if (inputs_.onSave) inputs_.onSave();
    if (inputs_.onSceneLayoutChanged) inputs_.onSceneLayoutChanged(inputs_.scene.id, inputs_.displayUUID);
    syncBridge();
    showHint("Layout changed");
}

} // namespace korvane
