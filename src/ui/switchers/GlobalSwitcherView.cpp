// The grid keeps every tile it ever made and hides the ones it does not need, lays out only when the
// area or the count changed, and leaves icons to a pump that follows the scrolling: opening the switcher
// costs a pass over the items, not a widget per window.
#include "ui/switchers/GlobalSwitcherView.h"

#include "platform/RunLoop.h"
#include "ui/switchers/SwitcherItemView.h"
#include "ui/switchers/SwitcherText.h"

#include <QFontDatabase>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QScrollArea>
#include <QScrollBar>

#include <cmath>

namespace korvane {

namespace {

constexpr double kSearchWidth = 360;
constexpr double kSearchHeight = 32;
constexpr double kIconMargin = 220; // icons load this far above and below the visible part
constexpr Size kDefaultArea{800, 600};

QFont systemFont(int pixelSize, QFont::Weight weight) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

} // namespace

// The rounded box at the top that shows the typed hint, or the placeholder while nothing is typed.
class GlobalSwitcherView::SearchBox final : public QWidget {
  public:
    explicit SearchBox(QWidget* parent) : QWidget(parent) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
    }
    QString text;
    double alpha = 0.8;

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setOpacity(alpha);
        QPainterPath box;
        box.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);
        painter.fillPath(box, QColor(0, 0, 0, 128));
        painter.setPen(QPen(QColor(255, 255, 255, 26), 1));
        painter.drawPath(box);
        painter.setFont(systemFont(14, QFont::Medium));
        painter.setPen(text.isEmpty() ? QColor(255, 255, 255, 110) : QColor(Qt::white));
        painter.drawText(QRectF(rect()).adjusted(16, 0, -16, 0), Qt::AlignCenter,
                         text.isEmpty() ? QString(kPlaceholder) : text);
    }
};

HUDOverlayView::HUDOverlayView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}

void HUDOverlayView::paintEvent(QPaintEvent*) {
    // A 1-pixel frame 12 pixels inside the edges, as four plain fills: a stroked outline as long as the
    // screen is a path for the raster engine to hand to its worker threads.
    const int w = width(), h = height();
    if (w < 26 || h < 26) return;
    QPainter painter(this);
    const QColor line(255, 255, 255, 20);
    painter.fillRect(QRect(12, 12, w - 24, 1), line);
    painter.fillRect(QRect(12, h - 13, w - 24, 1), line);
    painter.fillRect(QRect(12, 13, 1, h - 26), line);
    painter.fillRect(QRect(w - 13, 13, 1, h - 26), line);
}

GlobalSwitcherView::GlobalSwitcherView(platform::RunLoop& loop, QWidget* parent)
    : QWidget(parent), loop_(loop) {
    setFocusPolicy(Qt::NoFocus);
    hudOverlayView_ = new HUDOverlayView(this);
    searchBox_ = new SearchBox(this);
}

GlobalSwitcherView::~GlobalSwitcherView() = default;

QScrollArea* GlobalSwitcherView::enclosingScrollArea() const {
    QWidget* viewport = parentWidget();
    return viewport ? qobject_cast<QScrollArea*>(viewport->parentWidget()) : nullptr;
}

void GlobalSwitcherView::watchScrolling() {
    if (watchingScroll_) return;
    QScrollArea* scroll = enclosingScrollArea();
    if (!scroll) return;
    watchingScroll_ = true;
    QObject::connect(scroll->verticalScrollBar(), &QScrollBar::valueChanged, this,
                     [this] { pumpIconLoads(); });
}

void GlobalSwitcherView::resizeEvent(QResizeEvent*) {
    layoutContents();
}

void GlobalSwitcherView::showEvent(QShowEvent*) {
    layoutContents();
}

void GlobalSwitcherView::layoutContents() {
    watchScrolling();
    hudOverlayView_->setGeometry(rect());
    searchBox_->setGeometry(static_cast<int>(std::lround((width() - kSearchWidth) / 2)),
                            static_cast<int>(std::lround(searchTop_)), static_cast<int>(kSearchWidth),
                            static_cast<int>(kSearchHeight));
    searchBox_->show();
    searchBox_->raise();
    layoutGrid();
    pumpIconLoads();
}

void GlobalSwitcherView::setSearchTop(double top) {
    searchTop_ = top;
    layoutContents();
}

void GlobalSwitcherView::update(const std::vector<ZoneDisplayModel>& regionDisplays) {
    // The overlay lies under every tile: redrawing it redraws them all, so it is redrawn only for new models.
    if (regionDisplays != regionDisplays_) {
        regionDisplays_ = regionDisplays;
        hudOverlayView_->regionDisplays = regionDisplays;
        hudOverlayView_->update();
    }

    std::vector<WindowID> previous;
    previous.reserve(allItems_.size());
    for (const auto& item : allItems_)
        previous.push_back(item.windowID);
    allItems_.clear();
    for (const auto& region : regionDisplays)
        allItems_.insert(allItems_.end(), region.items.begin(), region.items.end());

    const std::size_t n = allItems_.size();
    while (viewPool_.size() < n) {
        auto* tile = new SwitcherItemView(this);
        tile->setGeometry(0, 0, 150, 164);
        tile->onChosen = [this](const SwitcherItem& item) {
            if (onItemChosen) onItemChosen(item);
        };
        viewPool_.push_back(tile);
    }
    itemViews_.assign(viewPool_.begin(), viewPool_.begin() + static_cast<std::ptrdiff_t>(n));

    for (std::size_t i = 0; i < n; ++i) {
        SwitcherItemView* tile = itemViews_[i];
        const SwitcherItem& item = allItems_[i];
        tile->show();
        tile->setSelected(false);
        tile->setDimmed(false);
        tile->setAlpha(1.0);
        const auto& shown = tile->representedItem();
        const bool unchanged = i < previous.size() && previous[i] == item.windowID && shown &&
                               shown->windowID == item.windowID && shown->hint == item.hint &&
                               shown->zoneID == item.zoneID;
        if (!unchanged) tile->configure(item);
    }
    for (std::size_t i = n; i < viewPool_.size(); ++i)
        viewPool_[i]->hide();

    lastLayoutSize_ = Size{};
    lastLayoutItemCount_ = -1;
    // The grid's own drawing is the empty list's message: it changes only when the list becomes or stops
    // being empty. Tiles redraw themselves as they change or move.
    if (previous.empty() != allItems_.empty()) QWidget::update();
    layoutGrid();
    pumpIconLoads();
}

void GlobalSwitcherView::layoutGrid() {
    QScrollArea* scroll = enclosingScrollArea();
    const Size viewportSize = scroll ? Size{static_cast<double>(scroll->viewport()->width()),
                                            static_cast<double>(scroll->viewport()->height())}
                                     : kDefaultArea;
    const int count = static_cast<int>(itemViews_.size());
    if (count == 0) {
        emptyLabelVisible_ = true;
        if (viewportSize != contentSize_) {
            contentSize_ = viewportSize;
            if (onContentSizeChange) onContentSizeChange(contentSize_);
        }
        currentGridColumns_ = 1;
        lastLayoutSize_ = viewportSize;
        lastLayoutItemCount_ = 0;
        QWidget::update();
        return;
    }
    emptyLabelVisible_ = false;
    const Size area = (width() >= 1 && height() >= 1)
                          ? Size{static_cast<double>(width()), static_cast<double>(height())}
                          : viewportSize;
    if (area == lastLayoutSize_ && count == lastLayoutItemCount_) return;
    lastLayoutSize_ = area;
    lastLayoutItemCount_ = count;

    const GridMetrics metrics = switchergrid::gridMetrics(count, area);
    currentGridColumns_ = std::max(metrics.columns, 1);
    const int placed = std::min(count, metrics.columns * metrics.rows);
    for (int i = 0; i < placed; ++i) {
        const Rect f = switchergrid::tileFrame(metrics, i);
        itemViews_[static_cast<std::size_t>(i)]->setGeometry(
            static_cast<int>(std::lround(f.minX())), static_cast<int>(std::lround(f.minY())),
            static_cast<int>(std::lround(f.width())), static_cast<int>(std::lround(f.height())));
    }
    const Size content = switchergrid::contentSize(metrics, area);
    if (std::fabs(content.width - contentSize_.width) > 1 ||
        std::fabs(content.height - contentSize_.height) > 1) {
        contentSize_ = content;
        if (onContentSizeChange) onContentSizeChange(contentSize_);
    }
}

void GlobalSwitcherView::pumpIconLoads() {
    if (itemViews_.empty()) return;
    QScrollArea* scroll = enclosingScrollArea();
    if (!scroll) return;
    // The visible part in the grid's coordinates, widened so that icons are there before a scroll shows
    // their tiles.
    const QRect visible(-pos(), scroll->viewport()->size());
    const QRect wanted =
        visible.adjusted(0, -static_cast<int>(kIconMargin), 0, static_cast<int>(kIconMargin));
    while (iconLoadsInFlight_ < maxConcurrentIconLoads) {
        SwitcherItemView* next = nullptr;
        for (SwitcherItemView* tile : itemViews_) {
            if (tile->isHidden() || !tile->geometry().intersects(wanted)) continue;
            const auto& item = tile->representedItem();
            if (item && tile->requestedIconStableID() != item->stableID) {
                next = tile;
                break;
            }
        }
        if (!next) return;
        ++iconLoadsInFlight_;
        QPointer<GlobalSwitcherView> self(this);
        platform::RunLoop& loop = loop_;
        next->loadIcon([self, &loop] {
            loop.postAfter(seconds(iconLoadInterval), [self] {
                if (!self) return;
                self->iconLoadsInFlight_ = std::max(self->iconLoadsInFlight_ - 1, 0);
                self->pumpIconLoads();
            });
        });
    }
}

void GlobalSwitcherView::applyHintFilter(const std::string& text) {
    const std::string q = switchertext::lowercased(text);
    for (SwitcherItemView* tile : itemViews_) {
        const auto& item = tile->representedItem();
        if (!item || !item->hint) {
            tile->setDimmed(!q.empty());
            tile->setAlpha(q.empty() ? 1.0 : 0.3);
            continue;
        }
        if (q.empty()) {
            tile->setDimmed(false);
            tile->setAlpha(1.0);
            tile->setSelected(false);
            continue;
        }
        const bool matches = switchertext::lowercased(*item->hint).rfind(q, 0) == 0;
        tile->setDimmed(!matches);
        tile->setAlpha(matches ? 1.0 : 0.3);
        tile->setSelected(matches);
    }
}

void GlobalSwitcherView::setSelectedIndex(int index) {
    for (std::size_t i = 0; i < itemViews_.size(); ++i)
        itemViews_[i]->setSelected(static_cast<int>(i) == index);
}

void GlobalSwitcherView::setSearchText(const std::string& text) {
    searchText_ = text;
    searchBox_->text = QString::fromStdString(text);
    searchBox_->update();
}

void GlobalSwitcherView::showSearchBox(double alpha) {
    searchBox_->alpha = alpha;
    searchBox_->show();
    searchBox_->raise();
    searchBox_->update();
}

double GlobalSwitcherView::searchBoxAlpha() const {
    return searchBox_->alpha;
}

void GlobalSwitcherView::paintEvent(QPaintEvent*) {
    if (!emptyLabelVisible_) return;
    QPainter painter(this);
    painter.setFont(systemFont(14, QFont::Normal));
    painter.setPen(QColor(235, 235, 245, 153));
    const QRect visible =
        enclosingScrollArea() ? QRect(-pos(), enclosingScrollArea()->viewport()->size()) : rect();
    painter.drawText(visible, Qt::AlignCenter, kEmptyText);
}

} // namespace korvane
