// Showing and hiding the card switcher, its keys and card actions, and the option long press. The panel
// itself is in SceneCardSwitcherPanel; this file decides what it shows and what a click or key does.
#include "ui/switchers/SceneCardSwitcherController.h"

#include "app/DisplayUtil.h"
#include "core/AXUtil.h"
#include "core/SceneName.h"
#include "layouts/BuiltinLayouts.h"
#include "layouts/LayoutTemplateResolver.h"
#include "platform/HotKeys.h"
#include "platform/Platform.h"
#include "scenes/SceneStore.h"
#include "ui/overlays/KeyboardHold.h"
#include "ui/overlays/Overlay.h"
#include "ui/switchers/GlobalSwitcherWindowController.h"
#include "ui/switchers/SceneCardSwitcherPanel.h"

#include <QApplication>

#include <algorithm>
#include <cmath>
#include <unistd.h>

namespace korvane {

namespace {

constexpr std::uint64_t kOtherModifiers =
    platform::kEventFlagShift | platform::kEventFlagControl | platform::kEventFlagCommand;

// The digit 1 to 9 a key press types, ignoring modifiers; nothing for any other key.
std::optional<int> digitOf(const SwitcherKeyPress& press) {
    if (press.characters.empty()) return std::nullopt;
    const char c = press.characters.front();
    if (c < '1' || c > '9') return std::nullopt;
    return c - '0';
}

} // namespace

SceneCardSwitcherController::SceneCardSwitcherController(platform::Platform& platform)
    : platform_(platform), keyboard_(std::make_unique<KeyboardHold>(platform, AXUtil::shared())) {}

SceneCardSwitcherController::~SceneCardSwitcherController() {
    if (optionPressTimer_) optionPressTimer_->invalidate();
    if (panel_ && QCoreApplication::instance()) delete panel_.data();
}

double SceneCardSwitcherController::stripWidth(std::size_t sceneCount) {
    const auto n = static_cast<double>(sceneCount);
    return n * 14 + (n + 1) * kCardWidth + 40;
}

namespace {
// The strip's margins and the gap between rows, as between the cards of a row.
constexpr double kMarginX = 20;
constexpr double kMarginY = 18;
constexpr double kGap = SceneCardSwitcherController::kCardStep - SceneCardSwitcherController::kCardWidth;

double stripHeight(std::size_t rows) {
    return static_cast<double>(rows) * (SceneCardSwitcherController::kCardHeight + kGap) - kGap +
           2 * kMarginY;
}
} // namespace

Rect SceneCardSwitcherController::CardGrid::cardFrame(std::size_t index) const {
    const auto column = static_cast<double>(index % columns), row = static_cast<double>(index / columns);
    return Rect{scale * (kMarginX + column * kCardStep), scale * (kMarginY + row * (kCardHeight + kGap)),
                scale * kCardWidth, scale * kCardHeight};
}

SceneCardSwitcherController::CardGrid SceneCardSwitcherController::cardGrid(std::size_t sceneCount,
                                                                            const Size& screen) {
    const std::size_t cards = sceneCount + 1;
    CardGrid best;
    best.scale = -1;
    // Every row count from one up: the first that keeps the largest scale wins, so that the cards keep
    // their size as long as rows can give it to them.
    for (std::size_t columns = cards; columns >= 1; --columns) {
        const std::size_t rows = (cards + columns - 1) / columns;
        const double scale =
            std::min({1.0, screen.width / stripWidth(columns - 1), screen.height / stripHeight(rows)});
        if (scale > best.scale) best = CardGrid{columns, rows, scale, {}};
    }
    best.scale = std::max(best.scale, 0.0);
    // As many cards in each row as the rows need, so that the rows come out even.
    best.columns = (cards + best.rows - 1) / best.rows;
    best.strip = Size{std::floor(best.scale * stripWidth(best.columns - 1)),
                      std::floor(best.scale * stripHeight(best.rows))};
    return best;
}

QWidget* SceneCardSwitcherController::panel() const {
    return panel_;
}

void SceneCardSwitcherController::show() {
    if (isVisible_) return;
    auto store = sceneStore.lock();
    if (!store) return;
    auto& screens = platform_.screens();
    auto screen = DisplayUtil::screenUnderMouse(screens);
    if (!screen) {
        const auto all = screens.screens();
        if (all.empty()) return;
        screen = all.front();
    }
    scenes_ = store->loadAllScenes(ScreenContext::capture(screens));
    screen_ = *screen;
    shownActiveID_ = activeSceneID ? activeSceneID() : std::nullopt;
    isVisible_ = true;
    keyboard_->begin();
    if (qobject_cast<QApplication*>(QCoreApplication::instance())) makePanel();
}

void SceneCardSwitcherController::makePanel() {
    std::vector<SceneCardModel> cards;
    for (std::size_t i = 0; i < scenes_.size(); ++i) {
        const auto& scene = scenes_[i];
        cards.push_back(
            {scene.name, previewTree(scene), shownActiveID_ && *shownActiveID_ == scene.id, i + 1});
    }
    auto* panel =
        new SceneCardSwitcherPanel(weak_from_this(), std::move(cards), platform_.screens().isCompositing());
    panel->place(platform_.screens(), screen_.frame);
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, panel,
                     [panel] { delete panel; });
    panel_ = panel;
    // The desktop marks the window over a connection of its own: the server must know it first.
    const auto nativeWindow = static_cast<std::uint64_t>(panel->winId());
    QGuiApplication::sync();
    // Over the screen to its edges, which the toolkit's own pixels may not make up.
    placeOnScreen(platform_.screens(), *panel, screen_.frame);
    platform_.screens().showOnAllWorkspaces(nativeWindow);
    panel->show();
    panel->raise();
    panel->activateWindow();
    // Digits and Escape must reach the panel whatever application was in front.
    platform_.workspace().activate(::getpid(), platform::kActivateIgnoringOtherApps);
    panel->setFocus(Qt::ActiveWindowFocusReason);
    keyboard_->hold(panel);
}

void SceneCardSwitcherController::hide() {
    close(true);
}

void SceneCardSwitcherController::close(bool giveKeyboardBack) {
    if (panel_) {
        // Hidden at once, deleted once the event that asked for it (a click on the panel) is done.
        panel_->hide();
        panel_->deleteLater();
        panel_ = nullptr;
    }
    scenes_.clear();
    isVisible_ = false;
    keyboard_->end(giveKeyboardBack);
}

void SceneCardSwitcherController::closeIfDisplayGone(const std::vector<std::string>& connectedDisplayUUIDs) {
    if (isVisible_ && !DisplayUtil::isAmong(screen_, connectedDisplayUUIDs)) hide();
}

bool SceneCardSwitcherController::keyDown(const SwitcherKeyPress& press) {
    if (!isVisible_) return false;
    if (press.keyCode == switcherkeys::kEscape) {
        hide();
        return true;
    }
    const auto digit = digitOf(press);
    if (!digit) return false;
    cardClicked(static_cast<std::size_t>(*digit - 1));
    return true;
}

void SceneCardSwitcherController::cardClicked(std::size_t index) {
    if (index >= scenes_.size()) return;
    // The callback may end the switcher's owner; what follows must not depend on the list it held.
    const WMScene scene = scenes_[index];
    const auto keep = weak_from_this().lock();
    if (onRestoreScene) onRestoreScene(scene);
    hide();
}

void SceneCardSwitcherController::editClicked(std::size_t index) {
    if (index >= scenes_.size()) return;
    const WMScene scene = scenes_[index];
    const auto keep = weak_from_this().lock();
    close(false);
    if (onEditScene) onEditScene(scene);
}

void SceneCardSwitcherController::newSceneClicked() {
    const auto keep = weak_from_this().lock();
    close(false);
    if (onSaveScene) onSaveScene();
}

void SceneCardSwitcherController::backgroundClicked() {
    hide();
}

void SceneCardSwitcherController::handle(const platform::MouseEvent& event) {
    if (event.type != platform::MouseEventType::flagsChanged) return;
    const std::uint64_t flags = event.flags;
    if (flags & platform::kEventFlagOption) {
        if (!(flags & kOtherModifiers) && !optionLongPressActive_ && !isVisible_) {
            if (optionPressTimer_) return;
            optionPressTimer_ = platform_.runLoop().scheduleTimer(
                seconds(optionLongPressDelay), false, platform::RunLoopMode::Default,
                [weak = weak_from_this()](platform::Timer&) {
                    if (auto self = weak.lock()) self->optionTimerFired();
                });
            return;
        }
        if (optionPressTimer_) optionPressTimer_->invalidate();
        optionPressTimer_.reset();
        return;
    }
    if (optionPressTimer_) optionPressTimer_->invalidate();
    optionPressTimer_.reset();
    optionLongPressActive_ = false;
}

void SceneCardSwitcherController::optionTimerFired() {
    optionPressTimer_.reset();
    // Re-read: a release that never reached the handler must not open the switcher.
    if (!(MouseEventTap::shared()->currentModifiers() & platform::kEventFlagOption)) return;
    optionLongPressActive_ = true;
    platform_.runLoop().post([weak = weak_from_this()] {
        if (auto self = weak.lock()) self->show();
    });
}

std::optional<LayoutNode> SceneCardSwitcherController::previewTree(const WMScene& scene) const {
    if (scene.layoutRefsByDisplay.empty()) return std::nullopt;
    const auto ref = sceneNameForDisplay(scene.layoutRefsByDisplay.begin()->second);
    if (!ref) return std::nullopt;
    for (const auto& builtin : builtinLayoutTemplateList())
        if (builtin.id == *ref) return builtin.layoutTree;
    auto resolver = layoutTemplateResolver.lock();
    if (!resolver) return std::nullopt;
    const auto set = resolver->regionSet(*ref);
    if (!set) return std::nullopt;
    return resolver->layoutTree(*set);
}

} // namespace korvane
