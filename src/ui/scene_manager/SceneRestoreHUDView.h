// The card of the restore heads-up display: the outcome of one scene restore in a rounded light card of
// 320 by 80 points, a status symbol on the left, the scene's name and one line of detail beside it.
#pragma once

#include <QWidget>

#include <string>
#include <vector>

namespace korvane {

struct SceneRestoreResult;

// What the card says is copied from the restore's result when it is made; afterwards only its count of
// placed windows grows, as windows launched for the restore land in their zones. Always drawn in the
// light scheme, whatever the desktop's.
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
    // One more window placed; drawn again.
    void addPlacedWindow();

    static constexpr int kWidth = 320;
    static constexpr int kHeight = 80;
    static constexpr double kCornerRadius = 16;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::string sceneName;
    int appliedDisplays;
    int totalDisplays;
    std::vector<std::string> unresolvedDisplays;
    bool permissionDenied;
    int placedWindows;
    int totalHints;
    int parkedWindows;
    bool sceneUnreadable;
    int unstartedApps;
    int appsWithoutZone;
};

} // namespace korvane
