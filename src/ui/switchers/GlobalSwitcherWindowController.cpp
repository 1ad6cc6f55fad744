// The switcher's panel and its controller: showing and hiding, the keyboard, the selection, and
// carrying out a choice. The focus is the delicate part: the switcher takes the keyboard when it opens,
// and when it closes either the chosen window gets the focus (through the window-control core, after
// the panel is gone) or, when nothing was chosen, the window that had it before gets it back.
#include "ui/switchers/GlobalSwitcherWindowController.h"

#include "core/ActivationQueue.h"

#include "app/DisplayUtil.h"
#include "core/AXUtil.h"
#include "core/ActivationQueue.h"
#include "core/Log.h"
#include "core/Rescuer.h"
#include "core/WMController.h"
#include "input/KeyCodes.h"
#include "platform/Platform.h"
#include "tracking/WindowTracker.h"
#include "ui/overlays/KeyboardHold.h"
#include "ui/overlays/Overlay.h"
#include "ui/switchers/GlobalSwitcherView.h"
#include "ui/switchers/SwitcherHints.h"
#include "ui/switchers/SwitcherItemView.h"
#include "ui/switchers/SwitcherText.h"

#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <unistd.h>
#include <utility>

namespace korvane {

namespace {

// The move the window manager carries out in its own time, its vertical position corrected once it has.
platform::Task<void> awaitMove(std::shared_ptr<AXUtil> ax, platform::AXElement window, Rect target,
                               AXUtil::FrameRequest request) {
    auto answered = ax->awaitMoveResize(window, target, std::move(request));
    co_await std::move(answered);
}

using namespace switcherkeys;

constexpr const char* kTitle = "Global Switcher";
constexpr double kLargestDocumentSide = 100000;

// Qt's keys as the switcher's key codes: the one table between the two.
constexpr std::pair<int, int> kKeyTable[] = {
    {Qt::Key_Escape, kEscape},  {Qt::Key_Return, kReturn},    {Qt::Key_Enter, kReturn},
    {Qt::Key_Tab, kTab},        {Qt::Key_Backtab, kTab},      {Qt::Key_Backspace, kDelete},
    {Qt::Key_Left, kLeftArrow}, {Qt::Key_Right, kRightArrow}, {Qt::Key_Down, kDownArrow},
    {Qt::Key_Up, kUpArrow},
};

SwitcherKeyPress keyPressOf(const QKeyEvent& event, const platform::HotKeys& keys) {
    SwitcherKeyPress press;
    for (const auto& [qtKey, code] : kKeyTable)
        if (event.key() == qtKey) press.keyCode = code;
    if (event.modifiers().testFlag(Qt::ShiftModifier) || event.key() == Qt::Key_Backtab)
        press.modifierFlags |= kShiftFlag;
    if (press.keyCode == kOtherKey) press.characters = event.text().toStdString();
    if (const auto code = keys.virtualKeyForNativeKey(event.nativeScanCode())) {
        const std::string name = KeyCodes::name(*code);
        if (name.size() == 1 && std::isalnum(static_cast<unsigned char>(name[0]))) press.keyCharacter = name;
    }
    return press;
}

double squaredDistance(Point p, const Rect& r) {
    const double dx = std::max({r.minX() - p.x, 0.0, p.x - r.maxX()});
    const double dy = std::max({r.minY() - p.y, 0.0, p.y - r.maxY()});
    return dx * dx + dy * dy;
}

} // namespace

// The panel: covers its screen above other windows, takes the keyboard, and paints a dark backdrop,
// translucent only where a compositing manager can show what lies behind it.
class GlobalSwitcherWindowController::Panel final : public QWidget {
  public:
    Panel(GlobalSwitcherWindowController& owner, bool translucent)
        : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), owner_(owner),
          translucent_(translucent) {
        setWindowTitle(kTitle);
        setAttribute(Qt::WA_TranslucentBackground, translucent);
        setFocusPolicy(Qt::StrongFocus);
    }
    bool knownToTheServer = false;

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), translucent_ ? QColor(12, 12, 16, 170) : QColor(26, 26, 30));
    }
    void keyPressEvent(QKeyEvent* event) override {
        if (!owner_.keyDown(keyPressOf(*event, owner_.platform_.hotKeys()))) event->ignore();
    }
    // Tab moves the selection, not the keyboard focus between widgets.
    bool focusNextPrevChild(bool) override { return false; }

  private:
    GlobalSwitcherWindowController& owner_;
    bool translucent_;
};

GlobalSwitcherWindowController::GlobalSwitcherWindowController(platform::Platform& platform,
                                                               const platform::ScreenInfo& screen,
                                                               std::shared_ptr<WindowTracker> tracker,
                                                               std::shared_ptr<WMController> wmController,
                                                               std::shared_ptr<AXUtil> axUtil)
    : dataSource(platform, tracker, wmController), axUtil(std::move(axUtil)),
      wmController(std::move(wmController)), tracker(std::move(tracker)), platform_(platform),
      screen_(screen), keyboard_(std::make_unique<KeyboardHold>(platform, this->axUtil)) {
    if (qobject_cast<QApplication*>(QCoreApplication::instance())) makeViews();
}

GlobalSwitcherWindowController::~GlobalSwitcherWindowController() {
    if (panel_ && QCoreApplication::instance()) delete panel_.data();
}

void GlobalSwitcherWindowController::makeViews() {
    auto* panel = new Panel(*this, platform_.screens().isCompositing());
    panel->setGeometry(qtGlobalRect(platform_.screens(), screen_.frame));
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea(panel);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(false);
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll->setAutoFillBackground(false);
    scroll->viewport()->setAutoFillBackground(false);
    auto* view = new GlobalSwitcherView(platform_.runLoop());
    scroll->setWidget(view);
    // The scroll area makes its widget paint a background of its own; the panel's backdrop shows instead.
    view->setAutoFillBackground(false);
    layout->addWidget(scroll);

    view->onItemChosen = [this](const SwitcherItem& item) { selectItem(item); };
    view->onContentSizeChange = [this](Size size) { resizeDocument(size); };
    // The application may end while the switcher shows: the panel goes while Qt still exists.
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, panel,
                     [panel] { delete panel; });
    panel_ = panel;
    scrollView_ = scroll;
    switcherView_ = view;
}

QWidget* GlobalSwitcherWindowController::panel() const {
    return panel_;
}

GlobalSwitcherView* GlobalSwitcherWindowController::switcherView() const {
    return switcherView_;
}

QScrollArea* GlobalSwitcherWindowController::scrollView() const {
    return scrollView_;
}

Rect GlobalSwitcherWindowController::viewBounds() const {
    if (!switcherView_) return Rect{};
    return Rect{0, 0, static_cast<double>(switcherView_->width()),
                static_cast<double>(switcherView_->height())};
}

void GlobalSwitcherWindowController::show(const platform::ScreenInfo& screen) {
    screen_ = screen;
    if (panel_) panel_->setGeometry(qtGlobalRect(platform_.screens(), screen.frame));
    Log::switcher.info("Showing Global Switcher");
    // A window asked for just before (Alt+Tab, then this key at once) may not have been given the keyboard
    // yet: coming forward now, it would take the keyboard, and maybe the desktop shown, from the switcher.
    ActivationQueue::shared()->supersede();
    didFinalize = false;
    keyboard_->begin();
    resetHintSearch();
    selectedIndex = -1;
    isVisible = true;

    if (switcherView_) {
        // The top panel's height in the toolkit's pixels, as the switcher's own are.
        auto& screens = platform_.screens();
        switcherView_->setSearchTop(qtGlobalRect(screens, screen.visibleFrame).top() -
                                    qtGlobalRect(screens, screen.frame).top() + 24);
        // The scroll area fills the panel, so the grid has its size before the first frame is drawn.
        resizeDocument(Size{static_cast<double>(panel_->width()), static_cast<double>(panel_->height())});
    }
    const bool warm = dataSource.useWarmSnapshot();
    if (!warm) dataSource.reload(viewBounds());
    if (switcherView_) {
        switcherView_->update(dataSource.regionDisplays);
        switcherView_->setSelectedIndex(-1);
    }

    if (auto* panel = static_cast<Panel*>(panel_.data())) {
        // At every opening: a window manager forgets a window's desktop as it is hidden, and the switcher
        // must stay in view while a desktop asked for just before it comes to show. The desktop marks the
        // window over a connection of its own: the server must know it first.
        const auto nativeWindow = static_cast<std::uint64_t>(panel->winId());
        if (!panel->knownToTheServer) {
            QGuiApplication::sync();
            panel->knownToTheServer = true;
        }
        // Over the screen to its edges, which the toolkit's own pixels may not make up.
        placeOnScreen(platform_.screens(), *panel, screen.frame);
        platform_.screens().showOnAllWorkspaces(nativeWindow);
        panel->show();
        panel->raise();
        panel->activateWindow();
    }
    platform_.workspace().activate(::getpid(), platform::kActivateIgnoringOtherApps);
    if (panel_) {
        panel_->setFocus(Qt::ActiveWindowFocusReason);
        keyboard_->hold(panel_);
    }

    platform_.runLoop().post([weak = weak_from_this(), warm] {
        if (auto self = weak.lock()) self->refreshLayout(warm);
    });
}

void GlobalSwitcherWindowController::refreshLayout(bool reload) {
    if (!isVisible) return;
    if (scrollView_ && switcherView_) {
        const QSize clip = scrollView_->viewport()->size();
        // What changes size or place is redrawn by that change: a grid that the opening laid out already
        // is not drawn a second time.
        if (clip.width() > 0 && clip.height() > 0) {
            resizeDocument(Size{static_cast<double>(clip.width()), static_cast<double>(clip.height())});
            switcherView_->layoutGrid();
        }
    }
    if (!reload) return;
    dataSource.reload(viewBounds());
    if (switcherView_) {
        switcherView_->update(dataSource.regionDisplays);
        switcherView_->setSelectedIndex(selectedIndex);
    }
}

void GlobalSwitcherWindowController::resizeDocument(Size size) {
    if (!scrollView_ || !switcherView_) return;
    const QSize clip = scrollView_->viewport()->size();
    auto side = [](double clipSide, double wanted) {
        const double v = std::min(std::max(clipSide, wanted), kLargestDocumentSide);
        return std::isfinite(v) ? v : clipSide;
    };
    const double w = side(clip.width(), size.width), h = side(clip.height(), size.height);
    const QSize target(static_cast<int>(std::lround(w)), static_cast<int>(std::lround(h)));
    if (switcherView_->size() != target) switcherView_->resize(target);
}

void GlobalSwitcherWindowController::hide() {
    Log::switcher.info("Hiding Global Switcher");
    if (panel_) panel_->hide();
    resetHintSearch();
    dataSource.items.clear();
    dataSource.regionDisplays.clear();
    if (switcherView_) switcherView_->update(std::vector<ZoneDisplayModel>{});
    selectedIndex = -1;
    isVisible = false;
    keyboard_->end(!didFinalize);
    didFinalize = false;
}

void GlobalSwitcherWindowController::closeIfDisplayGone(
    const std::vector<std::string>& connectedDisplayUUIDs) {
    if (isVisible && !DisplayUtil::isAmong(screen_, connectedDisplayUUIDs)) hide();
}

bool GlobalSwitcherWindowController::keyDown(const SwitcherKeyPress& press) {
    if (press.keyCode == kEscape) {
        hide();
        return true;
    }
    if (dataSource.items.empty()) return false;
    const int before = selectedIndex;
    bool used = true;
    switch (press.keyCode) {
    case kReturn:
        finalizeSelection();
        return true;
    case kTab:
        moveSelection((press.modifierFlags & kShiftFlag) ? -1 : 1);
        break;
    case kDelete:
        if (deleteHintCharacter()) return true;
        break;
    case kLeftArrow:
        moveSelection(-1);
        break;
    case kRightArrow:
        moveSelection(1);
        break;
    case kDownArrow:
        moveSelectionRow(1);
        break;
    case kUpArrow:
        moveSelectionRow(-1);
        break;
    default:
        if (const std::string typed = hintText(press); !typed.empty() && handleTypedCharacters(typed))
            return true;
        used = false;
        break;
    }
    if (selectedIndex != before) showSelection();
    return used;
}

void GlobalSwitcherWindowController::showSelection() {
    if (switcherView_) switcherView_->setSelectedIndex(selectedIndex);
}

void GlobalSwitcherWindowController::moveSelection(int delta) {
    const int n = static_cast<int>(dataSource.items.size());
    if (n == 0) return;
    if (selectedIndex >= 0)
        selectedIndex = ((selectedIndex + delta) % n + n) % n;
    else
        selectedIndex = delta < 0 ? n - 1 : 0;
}

void GlobalSwitcherWindowController::moveSelectionRow(int delta) {
    const int n = static_cast<int>(dataSource.items.size());
    if (n == 0) return;
    const int columns = std::max(switcherView_ ? switcherView_->currentGridColumns() : 1, 1);
    if (selectedIndex < 0) {
        selectedIndex = delta < 0 ? n - 1 : 0;
        return;
    }
    int index = selectedIndex + delta * columns;
    while (index < 0)
        index += n;
    while (index >= n)
        index -= n;
    selectedIndex = index;
}

void GlobalSwitcherWindowController::selectItem(const SwitcherItem& item) {
    const auto& items = dataSource.items;
    const auto it = std::find_if(items.begin(), items.end(), [&](const SwitcherItem& candidate) {
        return candidate.stableID == item.stableID;
    });
    if (it == items.end()) return;
    selectedIndex = static_cast<int>(it - items.begin());
    finalizeSelection();
}

void GlobalSwitcherWindowController::finalizeSelection() {
    const auto& items = dataSource.items;
    if (selectedIndex < 0 || selectedIndex >= static_cast<int>(items.size())) {
        hide();
        return;
    }
    const SwitcherItem item = items[static_cast<std::size_t>(selectedIndex)];
    if (item.kind == SwitcherItem::Kind::application) {
        activateAppEntry(item);
        didFinalize = true;
        hide();
        return;
    }
    Log::switcher.info("Finalizing: %s (wid=%u)", item.title, item.windowID);
    std::optional<platform::AXElement> element;
    if (tracker) {
        const auto& managed = tracker->managed();
        if (auto it = managed.find(item.windowID); it != managed.end()) element = it->second;
    }
    if (!element) element = axUtil->axElement(item.windowID, item.pid);
    if (!element) {
        Log::switcher.error("AX unavailable wid=%u pid=%d", item.windowID, item.pid);
        didFinalize = true;
        hide();
        return;
    }
    if (!item.zoneID) recenterIfOffscreen(*element);
    wmController->focusFallback(*element);
    didFinalize = true;
    hide();
}

void GlobalSwitcherWindowController::activateAppEntry(const SwitcherItem& item) {
    auto& workspace = platform_.workspace();
    if (auto app = workspace.runningApplication(item.pid);
        app && (item.bundleID.rfind("pid:", 0) == 0 || app->bundleID == item.bundleID)) {
        workspace.unhide(app->pid);
        workspace.activate(app->pid, 0);
        return;
    }
    for (const auto& app : workspace.runningApplications()) {
        if (app.bundleID != item.bundleID) continue;
        workspace.unhide(app.pid);
        workspace.activate(app.pid, 0);
        return;
    }
    Log::switcher.error("GlobalSwitcher: failed to activate app entry bundle=%s pid=%d", item.bundleID,
                        item.pid);
}

void GlobalSwitcherWindowController::recenterIfOffscreen(const platform::AXElement& window) {
    const auto frame = axUtil->frame(window);
    if (!frame) return;
    const Rect v = targetScreen(*frame).visibleFrame;
    if (!isOffscreen(*frame, v)) return;
    const double w = std::max(frame->width(), 1.0), h = std::max(frame->height(), 1.0);
    const Rect centred = Rect{v.midX() - w / 2, v.midY() - h / 2, w, h}.integral();
    // Asked and watched without waiting: the switcher hides and the window is brought forward while the
    // window manager moves it.
    platform::spawn(platform_.runLoop(),
                    awaitMove(axUtil, window, centred, axUtil->requestMoveResize(window, centred)));
}

platform::ScreenInfo GlobalSwitcherWindowController::targetScreen(const Rect& frame) {
    const auto screens = platform_.screens().screens();
    if (screens.empty()) return screen_;
    const platform::ScreenInfo* best = nullptr;
    double bestArea = 0;
    for (const auto& s : screens) {
        const double area = frame.intersection(s.visibleFrame).area();
        if (!best || area > bestArea) best = &s, bestArea = area;
    }
    if (bestArea > 0) return *best;
    const Point centre = frame.center();
    best = nullptr;
    double bestDistance = std::numeric_limits<double>::infinity();
    for (const auto& s : screens) {
        const double d = squaredDistance(centre, s.visibleFrame);
        if (!best || d < bestDistance) best = &s, bestDistance = d;
    }
    return *best;
}

bool GlobalSwitcherWindowController::isOffscreen(const Rect& f, const Rect& v) {
    if (isParkedOffscreen(f, platform_.screens().screens())) return true;
    if (f.minX() >= v.maxX() - 6 && f.maxY() <= v.minY() + 6) return true;
    return f.intersection(v).area() < 0.15 * std::max(f.area(), 1.0);
}

// ---- Typed hints ----

std::string GlobalSwitcherWindowController::hintText(const SwitcherKeyPress& press) const {
    // Whether the text's first hint character goes on with the hint typed so far or starts one.
    auto takesHint = [this](const std::string& text) {
        for (char32_t c : switchertext::lowercased(switchertext::scalars(text))) {
            if (!SwitcherHints::isHintCharacter(c)) continue;
            const std::string character = switchertext::utf8(std::u32string(1, c));
            return !SwitcherHints::prefixMatches(dataSource.items, hintBuffer + character).empty() ||
                   !SwitcherHints::prefixMatches(dataSource.items, character).empty();
        }
        return false;
    };
    // What the key types comes first (a hint may be in the layout in use); else the letter the key
    // carries, as the shortcuts read it, so that hints are typed in a layout without Latin letters.
    if (press.keyCharacter.empty() || takesHint(press.characters)) return press.characters;
    return takesHint(press.keyCharacter) ? press.keyCharacter : press.characters;
}

bool GlobalSwitcherWindowController::handleTypedCharacters(const std::string& characters) {
    if (dataSource.items.empty()) return false;
    const std::u32string typed = switchertext::lowercased(switchertext::scalars(characters));
    if (typed.empty()) return false;
    bool used = false;
    for (char32_t c : typed) {
        if (!SwitcherHints::isHintCharacter(c)) continue;
        const std::string character = switchertext::utf8(std::u32string(1, c));
        // The items are copied: a hint that finalises empties the list it was matched against.
        const std::vector<SwitcherItem> items = dataSource.items;
        if (applyHint(hintBuffer + character, items) || applyHint(character, items)) {
            used = true;
            continue;
        }
        hintBuffer.clear();
        if (switcherView_) {
            switcherView_->setSearchText("");
            switcherView_->applyHintFilter("");
        }
    }
    return used;
}

bool GlobalSwitcherWindowController::applyHint(const std::string& text,
                                               const std::vector<SwitcherItem>& items) {
    if (text.empty()) return false;
    const std::string q = switchertext::lowercased(text);
    const auto matches = SwitcherHints::prefixMatches(items, q);
    if (matches.empty()) return false;
    const auto exact = SwitcherHints::exactMatches(items, q);
    // Only a hint that begins no other is carried out at once. One that begins longer hints (x1 before
    // x12, mail before mailm) is selected and waits for the next key: carrying it out would leave the
    // longer hints out of reach and type their remaining characters into the window just chosen.
    if (exact.size() == 1 && matches.size() == 1) {
        selectedIndex = static_cast<int>(exact.front());
        finalizeSelection();
        hintBuffer.clear();
        if (switcherView_) {
            switcherView_->setSearchText("");
            switcherView_->applyHintFilter("");
        }
        return true;
    }
    selectedIndex = static_cast<int>(exact.size() == 1 ? exact.front() : matches.front());
    hintBuffer = q;
    if (switcherView_) {
        switcherView_->setSelectedIndex(selectedIndex);
        switcherView_->setSearchText(q);
        switcherView_->applyHintFilter(q);
    }
    return true;
}

bool GlobalSwitcherWindowController::deleteHintCharacter() {
    if (hintBuffer.empty()) return false;
    std::u32string text = switchertext::scalars(hintBuffer);
    text.pop_back();
    hintBuffer = switchertext::utf8(text);
    if (switcherView_) {
        switcherView_->setSearchText(hintBuffer);
        switcherView_->applyHintFilter(hintBuffer);
    }
    return true;
}

void GlobalSwitcherWindowController::resetHintSearch() {
    if (switcherView_) {
        switcherView_->showSearchBox(0.8);
        switcherView_->update();
    }
    hintBuffer.clear();
    if (switcherView_) {
        switcherView_->setSearchText("");
        switcherView_->applyHintFilter("");
    }
}

} // namespace korvane
