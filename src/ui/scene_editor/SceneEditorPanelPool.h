// The scene editor's panels between one editor and the next.
#pragma once

#include "platform/Geometry.h"

#include <QPointer>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace korvane {

class SceneEditorOverlayPanel;

namespace platform {
class Platform;
class Screens;
} // namespace platform

// Panels an editor has closed wait here hidden for the next one, with the views of the editor they held
// and, for a while after they hid, their drawing buffers and monitors' pictures (see releaseMemoryAtRest).
// A full-screen window shown for the first time costs several times what showing it again does: it is
// made on the window server, and its drawing buffer and its screen's picture touch fresh memory, a page
// fault per page; and the editor's views cost more to build than to bring up to date, the first views
// of their kinds most (styles, fonts and glyphs loaded as they are first drawn). So the panels are made
// once the program is idle after starting, before the first editor. Main thread only.
class SceneEditorPanelPool : public std::enable_shared_from_this<SceneEditorPanelPool> {
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
    // Before the first editor: on the first turn of the event loop that finds nothing to do, a panel for
    // each screen with its views made and drawn once, unmapped, kept as an editor would leave it (see
    // makeAhead()). Nothing when a panel was made already or when the program has no widgets.
    // `chipApplications`, asked then, names the applications whose chips the first editor is likely to
    // show: their pictures are rendered ahead into the icon cache the chips draw from.
    void makeAheadWhenIdle(platform::Platform& platform,
                           std::function<std::vector<std::string>()> chipApplications = {});
    // The same at once; whether panels were made.
    bool makeAhead(platform::Platform& platform, const std::vector<std::string>& chipApplications = {});

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
    // A panel was made, by an editor or ahead of one.
    bool made_ = false;
};

} // namespace korvane
