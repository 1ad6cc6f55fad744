#include "ui/scene_editor/SceneEditorPanelPool.h"

#include "ui/overlays/Overlay.h"
#include "ui/scene_editor/SceneEditorOverlayPanel.h"

#include <QCoreApplication>

#include <algorithm>

namespace korvane {

SceneEditorPanelPool::~SceneEditorPanelPool() {
    if (!QCoreApplication::instance()) return;
    for (auto& panel : kept_)
        if (panel) panel->deleteLater();
}

SceneEditorOverlayPanel* SceneEditorPanelPool::take(const Rect& visibleFrame) {
    std::erase_if(kept_, [](const QPointer<SceneEditorOverlayPanel>& panel) { return !panel; });
    const QSize size = qtGlobalRect(screens_, visibleFrame).size();
    auto found =
        std::find_if(kept_.begin(), kept_.end(), [&](const auto& panel) { return panel->size() == size; });
    if (found == kept_.end() && !kept_.empty()) found = kept_.begin();
    if (found != kept_.end()) {
        SceneEditorOverlayPanel* panel = *found;
        kept_.erase(found);
        panel->cover(visibleFrame);
        return panel;
    }
    auto* panel = new SceneEditorOverlayPanel(screens_, visibleFrame);
    // Gone before the application: a widget must not outlive it.
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, panel,
                     [panel] { delete panel; });
    return panel;
}

void SceneEditorPanelPool::keep(SceneEditorOverlayPanel* panel) {
    if (!panel) return;
    panel->hide();
    if (SceneEditorOverlayRootView* root = panel->rootView()) root->retire();
    if (std::find(kept_.begin(), kept_.end(), panel) == kept_.end()) kept_.emplace_back(panel);
}

std::size_t SceneEditorPanelPool::keptCount() const {
    return static_cast<std::size_t>(
        std::count_if(kept_.begin(), kept_.end(), [](const auto& panel) { return !panel.isNull(); }));
}

} // namespace korvane
