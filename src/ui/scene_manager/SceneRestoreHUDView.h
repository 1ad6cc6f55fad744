// The card of the restore heads-up display: the outcome of one scene restore in a rounded light card of
// 320 by 80 points, a status symbol on the left, the scene's name and one line of detail beside it.
#pragma once

#include <QWidget>

#include <string>
#include <vector>

namespace korvane {

struct SceneRestoreResult;

// What the card says is copied from the restore's result when it is made, and again as news of the
// applications the restore started comes (their windows placed, or their start failed). Always drawn in
// the light scheme, whatever the desktop's.
class SceneRestoreHUDView final : public QWidget {
  public:
    enum class State {
        permission, // the Accessibility permission was missing: nothing was restored
        unreadable, // the scene's file could not be read: nothing was restored
        // some display's layout could not be applied, some application could not be started, or some
        // window stayed where it was because its zone is gone from the display's layout
        partial,
        success,
    };

    explicit SceneRestoreHUDView(const SceneRestoreResult& result, QWidget* parent = nullptr);

    State state() const;
    // The name of the state's symbol image (see paintSymbol).
    std::string symbolName() const;
    QColor stateColor() const;
    // The scene's name; "Active Scene" for an unreadable scene the manifest no longer names.
    std::string title() const;
    // "No window manager running" when the accessibility grant (on X11 a running EWMH window manager) was
    // missing; "Scene file cannot be read" when the scene could not be read; otherwise the displays part,
    // the placed part when the scene had hints, the parked part when windows were parked, the part
    // naming how many applications could not be started and the one naming how many found no zone of
    // their number, joined by " · ".
    std::string detail() const;
    // Says what the result says from now on; drawn again.
    void setResult(const SceneRestoreResult& result);

    static constexpr int kWidth = 320;
    static constexpr int kHeight = 80;
    static constexpr double kCornerRadius = 16;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::string sceneName;
    int appliedDisplays = 0;
    int totalDisplays = 0;
    std::vector<std::string> unresolvedDisplays;
    bool permissionDenied = false;
    int placedWindows = 0;
    int totalHints = 0;
    int parkedWindows = 0;
    bool sceneUnreadable = false;
    int unstartedApps = 0;
    int appsWithoutZone = 0;
};

} // namespace korvane
