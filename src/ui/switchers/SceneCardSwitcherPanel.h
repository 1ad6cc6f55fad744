// The card switcher's widgets: a full-screen panel that catches every click, a centred strip of scene
// cards (gradient, layout preview, name, number or active mark, and an edit button on hover) and the
// "New Scene" card, wrapped into rows and shrunk as the screen needs. They forward clicks and keys to the
// controller, which decides what they do.
#pragma once

#include "layouts/LayoutNode.h"
#include "platform/Geometry.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

class SceneCardSwitcherController;

namespace platform {
class Screens;
}

// What one scene card shows.
struct SceneCardModel {
    std::string name;
    std::optional<LayoutNode> preview;
    bool isActive = false;
    std::size_t number = 0; // the card's position from 1, shown on inactive cards
};

class SceneCardSwitcherPanel final : public QWidget {
  public:
    SceneCardSwitcherPanel(std::weak_ptr<SceneCardSwitcherController> owner,
                           std::vector<SceneCardModel> cards, bool translucent);

    // Covers the frame (bottom-left global) and centres the strip in it, its cards laid out so that every
    // one lies on it.
    void place(platform::Screens& screens, const Rect& frame);
    QWidget* strip() const { return strip_; }
    // The cards in strip order, the "New Scene" card last.
    const std::vector<QWidget*>& cards() const { return cards_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool focusNextPrevChild(bool) override { return false; }

  private:
    void centreStrip();
    void layOutCards(const Size& screen);

    std::weak_ptr<SceneCardSwitcherController> owner_;
    bool translucent_;
    QWidget* strip_ = nullptr;
    std::vector<QWidget*> cards_;
};

} // namespace korvane
