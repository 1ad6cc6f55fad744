// The global switcher: a floating full-screen panel of every on-screen window and windowless
// application, from which the user jumps to one by arrows, typed hints or a click. The application makes
// it on first use and toggles it.
#pragma once

#include "platform/Accessibility.h"
#include "platform/Screens.h"
#include "ui/switchers/SwitcherDataSource.h"

#include <QPointer>

#include <memory>
#include <optional>
#include <string>
#include <vector>

class QScrollArea;
class QWidget;

namespace korvane {

class AXUtil;
class GlobalSwitcherView;
class KeyboardHold;
class WMController;
class WindowTracker;

namespace platform {
class Platform;
}

// The keys the switcher acts on, by their virtual key codes; every other key is `kOtherKey` and counts
// by its characters.
namespace switcherkeys {
inline constexpr int kOtherKey = -1;
inline constexpr int kReturn = 36;
inline constexpr int kTab = 48;
inline constexpr int kDelete = 51;
inline constexpr int kEscape = 53;
inline constexpr int kLeftArrow = 123;
inline constexpr int kRightArrow = 124;
inline constexpr int kDownArrow = 125;
inline constexpr int kUpArrow = 126;
inline constexpr unsigned kShiftFlag = 0x20000;
} // namespace switcherkeys

// One key press as the switcher reads it.
struct SwitcherKeyPress {
    int keyCode = switcherkeys::kOtherKey;
    std::string characters; // ignoring modifiers; may be empty
    unsigned modifierFlags = 0;
    // The letter or digit the key carries where the keyboard's layouts name it as the hot keys do (a
    // Cyrillic layout's key named by the US layout beside it: "a" for the key typing "ф"); may be empty.
    std::string keyCharacter;
};

// Main thread only. Its panel exists where a Qt widget application runs; elsewhere the switcher keeps
// its state and lists without showing anything.
class GlobalSwitcherWindowController : public std::enable_shared_from_this<GlobalSwitcherWindowController> {
  public:
    GlobalSwitcherWindowController(platform::Platform& platform, const platform::ScreenInfo& screen,
                                   std::shared_ptr<WindowTracker> tracker,
                                   std::shared_ptr<WMController> wmController,
                                   std::shared_ptr<AXUtil> axUtil);
    ~GlobalSwitcherWindowController();
    GlobalSwitcherWindowController(const GlobalSwitcherWindowController&) = delete;
    GlobalSwitcherWindowController& operator=(const GlobalSwitcherWindowController&) = delete;

    // Whether it shows: a toggle hides a visible switcher and shows any other.
    bool isWindowVisible() const { return isVisible; }
    // Covers the screen, remembers the focused window, lists the windows (a listing less than 1.2 s old
    // at once, refreshed one main-queue turn later) and takes the keyboard, which it holds until it hides.
    void show(const platform::ScreenInfo& screen);
    // Empties the list and, unless a choice was carried out, gives the focus back to the window that had
    // it when the switcher opened.
    void hide();
    // The displays connected now: shown on a display not among them, it closes as Escape closes it,
    // where the window manager would move it mostly off every monitor still taking typed hints.
    void closeIfDisplayGone(const std::vector<std::string>& connectedDisplayUUIDs);

    // A key press while it shows; false when the press is passed on unused.
    bool keyDown(const SwitcherKeyPress& press);
    // A tile's item was clicked: it is chosen at once.
    void selectItem(const SwitcherItem& item);

    // Carries out the selected item: a window is focused through the window-control core (centred on
    // its screen first when it has no zone and lies mostly off screen), an application is brought
    // forward; the switcher then hides without giving the focus back. Nothing selected hides it.
    void finalizeSelection();
    void moveSelection(int delta);
    void moveSelectionRow(int delta);
    // Typed hints: a text that is one tile's whole hint and begins no other hint carries that tile out;
    // any other text that begins hints selects one (the tile it names whole, else the first) and waits.
    bool handleTypedCharacters(const std::string& characters);
    // The text of a key press that the hints read: what the key types, or where that neither goes on
    // with the hint typed so far nor starts one and the letter the key carries does, that letter.
    std::string hintText(const SwitcherKeyPress& press) const;
    bool applyHint(const std::string& text, const std::vector<SwitcherItem>& items);
    bool deleteHintCharacter();
    void resetHintSearch();

    // Sizes the grid to the visible area and, with `reload`, lists the windows again.
    void refreshLayout(bool reload);
    void resizeDocument(Size size);
    // Window frames and visible frames both bottom-left global.
    void recenterIfOffscreen(const platform::AXElement& window);
    platform::ScreenInfo targetScreen(const Rect& frame);
    bool isOffscreen(const Rect& frame, const Rect& visibleFrame);
    void activateAppEntry(const SwitcherItem& item);

    // The screen it was last asked to appear on.
    const platform::ScreenInfo& screen() const { return screen_; }

    SwitcherDataSource dataSource;
    int selectedIndex = -1;
    bool isVisible = false;
    bool didFinalize = false;
    std::string hintBuffer; // always lower case
    std::shared_ptr<AXUtil> axUtil;
    std::shared_ptr<WMController> wmController;
    std::shared_ptr<WindowTracker> tracker;

    // The views; null without a widget application.
    QWidget* panel() const;
    GlobalSwitcherView* switcherView() const;
    QScrollArea* scrollView() const;

  private:
    class Panel;
    void makeViews();
    // The grid view's bounds, or nothing before it exists.
    Rect viewBounds() const;
    void showSelection();

    platform::Platform& platform_;
    platform::ScreenInfo screen_;
    // Holds the keyboard while the switcher shows; notes the focused window as it shows and gives the
    // keyboard back to it.
    std::unique_ptr<KeyboardHold> keyboard_;
    QPointer<QWidget> panel_;
    QPointer<GlobalSwitcherView> switcherView_;
    QPointer<QScrollArea> scrollView_;
};

} // namespace korvane
