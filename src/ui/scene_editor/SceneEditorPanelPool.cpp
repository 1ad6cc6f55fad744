#include "ui/scene_editor/SceneEditorPanelPool.h"

#include "platform/Screens.h"
#include "ui/overlays/Overlay.h"
#include "ui/scene_editor/SceneEditorOverlayPanel.h"

#include <QCoreApplication>

#include <algorithm>
#include <functional>

namespace korvane {

SceneEditorPanelPool::~SceneEditorPanelPool() {
    if (!QCoreApplication::instance()) return;
    keepPrepared();
    for (auto& panel : kept_)
        if (panel) panel->deleteLater();
}

SceneEditorOverlayPanel* SceneEditorPanelPool::pick(const QSize& size) {
    std::erase_if(kept_, [](const QPointer<SceneEditorOverlayPanel>& panel) { return !panel; });
    auto found =
        std::find_if(kept_.begin(), kept_.end(), [&](const auto& panel) { return panel->size() == size; });
    if (found == kept_.end() && !kept_.empty()) found = kept_.begin();
    if (found != kept_.end()) {
        SceneEditorOverlayPanel* panel = *found;
        kept_.erase(found);
        return panel;
    }
    auto* panel = new SceneEditorOverlayPanel(screens_);
    // Gone before the application: a widget must not outlive it.
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, panel,
                     [panel] { delete panel; });
    return panel;
}

void SceneEditorPanelPool::prepare(const std::vector<Rect>& visibleFrames, Showing showing) {
    keepPrepared();
    std::vector<SceneEditorOverlayPanel*> panels;
    std::vector<QSize> sizes;
    for (const Rect& frame : visibleFrames) {
        sizes.push_back(qtGlobalRect(screens_, frame).size());
        panels.push_back(pick(sizes.back()));
    }
    bool shown = false;
    std::function<void()> showAll;
    if (showing == Showing::onceTaken)
        showAll = [&] {
            shown = true;
            // Placed before any shows: the window manager holds the server while it takes a window in,
            // and the round trips of placing would wait for it.
            for (std::size_t i = 0; i < panels.size(); ++i)
                panels[i]->coverWithPicture(visibleFrames[i]);
            for (SceneEditorOverlayPanel* panel : panels)
                panel->show();
        };
    std::vector<bool> pictured(panels.size(), false);
    screens_.captureEachThen(visibleFrames, showAll,
                             [&](std::size_t i, const platform::ScreenPictureView& picture) {
                                 pictured[i] = panels[i]->setPicture(sizes[i], picture);
                             });
    for (std::size_t i = 0; i < panels.size(); ++i) {
        if (pictured[i]) {
            if (!shown) panels[i]->coverWithPicture(visibleFrames[i]);
        } else if (shown) {
            // A picture that does not fit its panel: the toolkit's grab of the screen, the panel out of it.
            panels[i]->hide();
            panels[i]->cover(visibleFrames[i]);
            panels[i]->show();
        } else {
            panels[i]->cover(visibleFrames[i]);
        }
        prepared_.push_back({visibleFrames[i], panels[i]});
    }
}

void SceneEditorPanelPool::keepPrepared() {
    for (auto& prepared : prepared_)
        if (prepared.panel) kept_.emplace_back(prepared.panel);
    prepared_.clear();
}

SceneEditorOverlayPanel* SceneEditorPanelPool::take(const Rect& visibleFrame) {
    auto ready = std::find_if(prepared_.begin(), prepared_.end(), [&](const Prepared& prepared) {
        return prepared.panel && prepared.visibleFrame == visibleFrame;
    });
    if (ready != prepared_.end()) {
        SceneEditorOverlayPanel* panel = ready->panel;
        prepared_.erase(ready);
        return panel;
    }
    SceneEditorOverlayPanel* panel = pick(qtGlobalRect(screens_, visibleFrame).size());
    panel->cover(visibleFrame);
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
