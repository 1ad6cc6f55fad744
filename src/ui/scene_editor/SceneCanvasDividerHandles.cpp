// The divider handles of a scene canvas, kept across changes of the tree and the canvas size.
#include "ui/scene_editor/SceneCanvasDividerHandles.h"

#include "ui/scene_editor/SceneCanvasSplitHandle.h"

#include <QLabel>

#include <map>
#include <string>
#include <utility>

namespace korvane {

SceneCanvasDividerHandles::SceneCanvasDividerHandles(QWidget* area, bool isLargeCanvas, OnDrag onDrag)
    : area_(area), isLargeCanvas_(isLargeCanvas), onDrag_(std::move(onDrag)) {}

void SceneCanvasDividerHandles::show(const std::vector<SceneCanvasSplitLine>& lines, bool isReadOnly) {
    std::map<std::string, SceneCanvasSplitHandle*> shown;
    for (auto* handle : handles_)
        shown.emplace(handle->line().id, handle);
    std::vector<SceneCanvasSplitHandle*> next;
    for (const auto& line : lines) {
        if (auto kept = shown.find(line.id); kept != shown.end()) {
            kept->second->setLine(line);
            next.push_back(kept->second);
            shown.erase(kept);
            continue;
        }
        // The path is the id's: a kept handle keeps reporting for the node its line names.
        auto* handle = new SceneCanvasSplitHandle(
            line, isReadOnly, isLargeCanvas_,
            [onDrag = onDrag_, path = line.path](double ratio) {
                if (onDrag) onDrag(path, ratio);
            },
            area_);
        handle->show();
        next.push_back(handle);
    }
    for (auto& [id, handle] : shown) {
        // Gone from the screen at once, its percentage with it; deleted on a later turn of the event loop, so
        // that a handle is never deleted inside an event it is handling.
        if (handle->ratioLabel()) handle->ratioLabel()->hide();
        handle->hide();
        handle->deleteLater();
    }
    handles_ = std::move(next);
    for (auto* handle : handles_)
        handle->setReadOnly(isReadOnly);
}

} // namespace korvane
