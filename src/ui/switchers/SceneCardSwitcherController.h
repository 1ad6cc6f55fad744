// The scene card switcher: a strip of cards, one per saved scene, opened by a long press of the option
// key or a hot key. It does no scene work itself; it hands the chosen scene to the application.
#pragma once

#include "input/MouseEventTap.h"
#include "layouts/LayoutNode.h"
#include "platform/RunLoop.h"
#include "platform/Screens.h"
#include "scenes/model/WMScene.h"

#include <QPointer>

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace korvane {

class KeyboardHold;
class LayoutTemplateResolver;
class SceneStore;
struct SwitcherKeyPress;

namespace platform {
class Platform;
}

// Main thread only. The application sets the store, the resolver and the callbacks when it makes it.
// Owned through a shared_ptr: the panel, the timer and the mouse tap hold it weakly.
class SceneCardSwitcherController : public MouseEventHandler,
                                    public std::enable_shared_from_this<SceneCardSwitcherController> {
  public:
    explicit SceneCardSwitcherController(platform::Platform& platform);
    ~SceneCardSwitcherController() override;
    SceneCardSwitcherController(const SceneCardSwitcherController&) = delete;
    SceneCardSwitcherController& operator=(const SceneCardSwitcherController&) = delete;

    std::weak_ptr<SceneStore> sceneStore;
    std::function<void(const WMScene&)> onRestoreScene;
    std::function<void()> onSaveScene;
    std::function<void(const WMScene&)> onEditScene;
    // The active scene's id, for the active card's mark.
    std::function<std::optional<std::string>()> activeSceneID;
    std::weak_ptr<const LayoutTemplateResolver> layoutTemplateResolver;

    // How long option must be held alone to open the switcher, in seconds.
    double optionLongPressDelay = 0.3;

    // Builds and shows the switcher on the screen under the pointer, holding the keyboard until it closes;
    // nothing when it already shows, without a scene store or without a screen.
    void show();
    // Closes the switcher and gives the keyboard back to the window that had it; harmless while hidden.
    void hide();
    // The displays connected now: shown on a display not among them, the switcher closes, where the
    // window manager would move it onto a display that stays with its cards off every monitor.
    void closeIfDisplayGone(const std::vector<std::string>& connectedDisplayUUIDs);

    bool isVisible() const { return isVisible_; }
    // The scenes in card order while shown; empty otherwise.
    const std::vector<WMScene>& scenes() const { return scenes_; }
    // The screen it last showed on (full frame, bottom-left global).
    const platform::ScreenInfo& screen() const { return screen_; }
    // The active scene's id read as it showed.
    const std::optional<std::string>& shownActiveSceneID() const { return shownActiveID_; }

    // A key press while it shows: Escape closes it, a digit 1 to 9 restores that card's scene (a digit
    // beyond the cards does nothing else); both are consumed. Every other key is passed on (false).
    bool keyDown(const SwitcherKeyPress& press);
    // The card actions; an index outside the scenes does nothing. Edit and "New Scene" leave the keyboard
    // to the window they open.
    void cardClicked(std::size_t index);
    void editClicked(std::size_t index);
    void newSceneClicked();
    // A left or right press on the background.
    void backgroundClicked();

    // The option long press: only changes of the held modifiers count.
    void handle(const platform::MouseEvent& event) override;
    bool isOptionLongPressActive() const { return optionLongPressActive_; }
    bool isOptionPressTimerPending() const { return optionPressTimer_ != nullptr; }

    // The tree a scene's card draws: its first display's layout reference, as a built-in layout, else
    // through the resolver; nothing without a reference or when it names no layout.
    std::optional<LayoutNode> previewTree(const WMScene& scene) const;

    // Strip geometry: cards of 132 × 116 every 146 points after a margin of 20, one card more than scenes.
    static constexpr double kCardWidth = 132;
    static constexpr double kCardHeight = 116;
    static constexpr double kCardStep = 146;
    static constexpr double kStripHeight = 152;
    // The width of one row of cards for that many scenes, "New Scene" included, at full size.
    static double stripWidth(std::size_t sceneCount);

    // How the cards lie on a screen: rows of `columns` cards, read left to right and top to bottom in card
    // order, every card scaled by `scale`. Coordinates are the strip's own: origin at its top left, y down.
    struct CardGrid {
        std::size_t columns = 1;
        std::size_t rows = 1;
        double scale = 1;
        Size strip; // the strip's size, margins included
        Rect cardFrame(std::size_t index) const;
    };
    // The grid for that many scenes on a screen of that size: one row at full size while the strip fits,
    // else as few rows as fit at the largest scale (1 at most) that keeps the whole strip on the screen,
    // their cards shared out evenly so that only the last row is shorter.
    static CardGrid cardGrid(std::size_t sceneCount, const Size& screen);

    // The panel while shown; null without a widget application.
    QWidget* panel() const;

  private:
    void optionTimerFired();
    void makePanel();
    void close(bool giveKeyboardBack);

    platform::Platform& platform_;
    std::unique_ptr<KeyboardHold> keyboard_;
    bool isVisible_ = false;
    std::vector<WMScene> scenes_;
    platform::ScreenInfo screen_;
    std::optional<std::string> shownActiveID_;
    platform::TimerRef optionPressTimer_;
    bool optionLongPressActive_ = false;
    QPointer<QWidget> panel_;
};

} // namespace korvane
