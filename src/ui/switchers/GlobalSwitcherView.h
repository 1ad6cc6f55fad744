// The global switcher's content: a search box for typed hints at the top and, under it, a centred grid
// of tiles whose size follows the screen, scrolling when the rows do not fit. Tiles come from a pool
// that only grows, and icons are loaded lazily, two at a time, for the tiles near the visible part.
#pragma once

#include "ui/switchers/SwitcherGrid.h"
#include "ui/switchers/SwitcherItem.h"

#include <QWidget>

#include <functional>
#include <string>
#include <vector>

class QScrollArea;

namespace korvane {

class SwitcherItemView;

namespace platform {
class RunLoop;
}

// The faint frame drawn over the grid's backdrop.
class HUDOverlayView final : public QWidget {
  public:
    explicit HUDOverlayView(QWidget* parent = nullptr);
    std::vector<ZoneDisplayModel> regionDisplays;

  protected:
    void paintEvent(QPaintEvent* event) override;
};

// Main thread only. Made in code, as the scroll area's widget; its origin is its top left.
class GlobalSwitcherView final : public QWidget {
  public:
    static constexpr const char* kPlaceholder = "Type hint to switch...";
    static constexpr const char* kEmptyText = "No windows. Check that a window manager is running.";

    GlobalSwitcherView(platform::RunLoop& loop, QWidget* parent = nullptr);
    ~GlobalSwitcherView() override;

    using QWidget::update;
    // Shows the models' items, reusing pooled tiles; a tile whose window, hint and zone are unchanged at
    // its index keeps its text and icon.
    void update(const std::vector<ZoneDisplayModel>& regionDisplays);
    // Places the tiles for the current size (skipped when neither the size nor the count changed) and
    // reports a new content size.
    void layoutGrid();
    // Starts icon requests for tiles within 220 points of the visible part, at most two in flight.
    void pumpIconLoads();
    // Highlights every tile whose hint begins with `text` and dims the others; empty text undoes both.
    void applyHintFilter(const std::string& text);
    // Highlights the tile at `index` alone (none for -1).
    void setSelectedIndex(int index);

    // The search box: the typed text (the placeholder shows while it is empty) and its opacity.
    void setSearchText(const std::string& text);
    const std::string& searchText() const { return searchText_; }
    void showSearchBox(double alpha);
    double searchBoxAlpha() const;
    // How far below the top the search box sits: the screen's top panel's height plus 24.
    void setSearchTop(double top);
    bool isEmptyLabelVisible() const { return emptyLabelVisible_; }

    const std::vector<SwitcherItemView*>& itemViews() const { return itemViews_; }
    const std::vector<SwitcherItemView*>& viewPool() const { return viewPool_; }
    const std::vector<ZoneDisplayModel>& regionDisplays() const { return regionDisplays_; }
    int currentGridColumns() const { return currentGridColumns_; }
    Size contentSize() const { return contentSize_; }
    int iconLoadsInFlight() const { return iconLoadsInFlight_; }
    static constexpr int maxConcurrentIconLoads = 2;
    static constexpr double iconLoadInterval = 0.005; // seconds

    // Told the tile's item when a tile is clicked; told the new content size.
    std::function<void(const SwitcherItem&)> onItemChosen;
    std::function<void(Size)> onContentSizeChange;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    class SearchBox;
    QScrollArea* enclosingScrollArea() const;
    void watchScrolling();
    void layoutContents();

    platform::RunLoop& loop_;
    std::vector<SwitcherItemView*> itemViews_;
    std::vector<SwitcherItemView*> viewPool_;
    std::vector<ZoneDisplayModel> regionDisplays_;
    std::vector<SwitcherItem> allItems_;
    HUDOverlayView* hudOverlayView_ = nullptr;
    SearchBox* searchBox_ = nullptr;
    std::string searchText_;
    double searchTop_ = 12;
    bool emptyLabelVisible_ = false;
    bool watchingScroll_ = false;
    int currentGridColumns_ = 1;
    Size contentSize_{};
    Size lastLayoutSize_{};
    int lastLayoutItemCount_ = 0;
    int iconLoadsInFlight_ = 0;
};

} // namespace korvane
