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
    return make(visibleFrame);
}

SceneEditorOverlayPanel* SceneEditorPanelPool::make(const Rect& visibleFrame) {
    made_ = true;
    auto* panel = new SceneEditorOverlayPanel(screens_, visibleFrame);
    // Gone before the application: a widget must not outlive it.
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, panel,
                     [panel] { delete panel; });
    return panel;
}

void SceneEditorPanelPool::prepareWhenIdle(platform::Platform& platform,
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
            self->prepare(platform, chipApplications ? chipApplications() : std::vector<std::string>{});
        },
        Qt::SingleShotConnection);
}

bool SceneEditorPanelPool::prepare(platform::Platform& platform,
                                   const std::vector<std::string>& chipApplications) {
    if (made_ || !qobject_cast<QApplication*>(QCoreApplication::instance())) return false;
    const Nanos started = platform.runLoop().now();
    for (const platform::ScreenInfo& screen : screens_.screens()) {
        SceneEditorOverlayPanel* panel = make(screen.visibleFrame);
        panel->setRootView(new SceneEditorOverlayRootView({}, panel->blockingView()));
        panel->rootView()->prepareCanvas(platform);
        panel->paintAhead();
        keep(panel);
    }
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
