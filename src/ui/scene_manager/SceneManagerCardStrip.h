// The row of scene cards in the scene manager, followed by the "New" card: each card shows a scene's name
// and its hot-key slot, bordered by whether it is active or selected; the card under the pointer offers
// rename and delete in a small panel on its trailing edge. Cards are painted, not widgets, so that a long
// list costs one widget.
#pragma once

#include <QWidget>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QAbstractButton;

namespace korvane {

class SceneManagerCardStrip : public QWidget {
  public:
    struct Card {
        std::string id;
        std::string name;
        std::optional<int> hotkeySlot;
    };

    static constexpr int kCardWidth = 80;
    static constexpr int kCardHeight = 50;
    static constexpr int kSpacing = 12;
    static constexpr int kHorizontalPadding = 4;
    static constexpr int kVerticalPadding = 6;

    explicit SceneManagerCardStrip(QWidget* parent = nullptr);

    void setCards(std::vector<Card> cards, std::optional<std::string> activeID,
                  std::optional<std::string> selectedID);

    std::function<void(const std::string&)> onSelect;
    std::function<void()> onCreate;
    std::function<void(const std::string&)> onRename;
    std::function<void(const std::string&)> onDelete;

    // The card at `index` of the scenes; the "New" card follows the last.
    QRect cardRect(std::size_t index) const;
    QRect newCardRect() const;
    // The card under the pointer, whose panel shows; the mouse sets it, and so may a caller.
    const std::optional<std::string>& hoveredSceneID() const { return hoveredSceneID_; }
    void setHoveredSceneID(std::optional<std::string> id);
    // The panel of the hovered card and its two buttons.
    QWidget* hoverPanel() const { return hoverPanel_; }
    QAbstractButton* renameButton() const { return renameButton_; }
    QAbstractButton* deleteButton() const { return deleteButton_; }

    QSize sizeHint() const override;

    // A card's key line: "Ctrl+Alt+3" for slot 3.
    static QString slotText(int slot);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    std::optional<std::size_t> cardAt(const QPoint& point) const;
    void placeHoverPanel();

    std::vector<Card> cards_;
    std::optional<std::string> activeID_;
    std::optional<std::string> selectedID_;
    std::optional<std::string> hoveredSceneID_;
    QWidget* hoverPanel_ = nullptr;
    QAbstractButton* renameButton_ = nullptr;
    QAbstractButton* deleteButton_ = nullptr;
};

} // namespace korvane
