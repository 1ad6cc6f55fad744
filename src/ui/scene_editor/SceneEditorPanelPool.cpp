#include "ui/scene_editor/SceneEditorPanelPool.h"

#include "core/Log.h"
#include "platform/Platform.h"
#include "platform/Screens.h"
#include "ui/overlays/Overlay.h"
#include "ui/scene_editor/SceneEditorOverlayPanel.h"
#include "ui/switchers/IconCache.h"

#include <QAbstractEventDispatcher>
#include <QApplication>

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
    made_ = true;
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
        sizes.push_back(SceneEditorOverlayPanel::pictureSize(screens_, frame));
        panels.push_back(pick(qtGlobalRect(screens_, frame).size()));
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

void SceneEditorPanelPool::makeAheadWhenIdle(platform::Platform& platform,
                                             std::function<std::vector<std::string>()> chipApplications) {
    if (made_ || !qobject_cast<QApplication*>(QCoreApplication::instance())) return;
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (!dispatcher) return;
    // Once, as the loop is about to wait for something to happen: nothing else is held up.
    std::weak_ptr<SceneEditorPanelPool> weak = weak_from_this();
    QObject::connect(
        dispatcher, &QAbstractEventDispatcher::aboutToBlock, dispatcher,
        [weak, &platform, chipApplications = std::move(chipApplications)] {
            auto self = weak.lock();
            if (!self || self->made_) return;
            self->makeAhead(platform, chipApplications ? chipApplications() : std::vector<std::string>{});
        },
        Qt::SingleShotConnection);
}

bool SceneEditorPanelPool::makeAhead(platform::Platform& platform,
                                     const std::vector<std::string>& chipApplications) {
    if (made_ || !qobject_cast<QApplication*>(QCoreApplication::instance())) return false;
    const Nanos started = platform.runLoop().now();
    // Without pictures: an opening takes its own.
    // Kept once all are made up: a kept panel would be taken again for the next screen.
    std::vector<SceneEditorOverlayPanel*> panels;
    for (const platform::ScreenInfo& screen : screens_.screens()) {
        SceneEditorOverlayPanel* panel = pick(qtGlobalRect(screens_, screen.visibleFrame).size());
        panel->coverWithPicture(screen.visibleFrame);
        panel->setRootView(new SceneEditorOverlayRootView({}, panel->blockingView()));
        panel->rootView()->prepareCanvas(platform);
        panel->paintAhead();
        panels.push_back(panel);
    }
    for (SceneEditorOverlayPanel* panel : panels)
        keep(panel);
    // Rendered on the cache's own queue; a chip made before one arrives draws it once it does, a frame
    // after the first.
    for (const std::string& bundleID : chipApplications)
        IconCache::shared()->icon(bundleID, [](const QImage&) {});
    Log::sceneManager.info("Scene Editor panels prepared in %ldms",
                           static_cast<long>((platform.runLoop().now() - started) / 1000000));
    return true;
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
