// The scene editor's panels between one editor and the next.
#pragma once

#include "platform/Geometry.h"

#include <QPointer>

#include <cstddef>
#include <vector>

namespace korvane {

class SceneEditorOverlayPanel;

namespace platform {
class Screens;
} // namespace platform

// Panels an editor has closed wait here hidden for the next one, with the views of the editor they held.
// A full-screen window shown for the first time costs several times what showing it again does: it is
// made on the window server, and its drawing buffer and its screen's picture touch fresh memory, a page
// fault per page; and the editor's views cost more to build than to bring up to date. Main thread only.
class SceneEditorPanelPool {
  public:
    explicit SceneEditorPanelPool(platform::Screens& screens) : screens_(screens) {}
    // Deletes the kept panels on a later turn.
    ~SceneEditorPanelPool();
    SceneEditorPanelPool(const SceneEditorPanelPool&) = delete;
    SceneEditorPanelPool& operator=(const SceneEditorPanelPool&) = delete;

    enum class Showing { hidden, onceTaken };
    // Makes ready a panel for each area, covered, with the pictures of all the areas taken at once, so
    // that no panel of the editor shows in any picture. Shown once the window server holds the pictures,
    // when asked to: the window manager then maps the panels while the program dims the pictures, which
    // the panels need only at their first paint. The next take of each area hands out its panel; panels
    // not taken by the next prepare or keep wait again.
    void prepare(const std::vector<Rect>& visibleFrames, Showing showing = Showing::hidden);
    // The panel prepared for the area, else a kept panel, one of the area's size where there is one, else
    // a new panel; either covers `visibleFrame`, hidden, with the picture of it taken now.
    SceneEditorOverlayPanel* take(const Rect& visibleFrame);
    // Hides the panel, lets its root view go of the editor it served and keeps both for a later take.
    void keep(SceneEditorOverlayPanel* panel);
    std::size_t keptCount() const;

  private:
    struct Prepared {
        Rect visibleFrame;
        QPointer<SceneEditorOverlayPanel> panel;
    };
    // A kept panel of this size where there is one, else any kept panel, else a new one; not yet covering.
    SceneEditorOverlayPanel* pick(const QSize& size);
    void keepPrepared();

    platform::Screens& screens_;
    std::vector<QPointer<SceneEditorOverlayPanel>> kept_;
    std::vector<Prepared> prepared_;
};

} // namespace korvane
