// The picker's dialog and its painted list. The keys reach the model through the search field, which
// keeps the keyboard the whole time: arrows move the highlight, Return chooses, Escape closes.
#include "ui/switchers/AppPickerView.h"

#include "platform/Platform.h"
#include "ui/switchers/IconCache.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace korvane {

namespace {

constexpr int kSectionHeight = 26;
constexpr int kRowHeightWithID = 46;
constexpr int kRowHeight = 36;
constexpr int kListInset = 6;
constexpr int kIconSide = 24;
constexpr Nanos kFocusDelay = milliseconds(100);

QColor accent() {
    return QColor(10, 110, 230);
}

QColor withAlpha(QColor color, double alpha) {
    color.setAlphaF(static_cast<float>(alpha));
    return color;
}

QFont sizedFont(int pixelSize, QFont::Weight weight) {
    QFont f;
    f.setPixelSize(pixelSize);
    f.setWeight(weight);
    return f;
}

} // namespace

AppPickerView::AppPickerView(platform::Platform& platform, const std::string& selectedBundleID,
                             bool showBundleID, std::function<void(const std::string&)> onSelect,
                             QWidget* parent)
    : QDialog(parent), platform_(platform),
      model_(std::make_shared<AppPickerModel>(platform, selectedBundleID, showBundleID)) {
    setWindowTitle("Choose Application");
    setFixedSize(kWidth, kHeight);
    // A sheet over the window that asked; on its own it blocks nothing.
    setWindowModality(parent ? Qt::WindowModal : Qt::NonModal);
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor(244, 244, 247));
    setPalette(colours);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* searchBox = new QWidget(this);
    auto* searchLayout = new QVBoxLayout(searchBox);
    searchLayout->setContentsMargins(10, 10, 10, 6);
    searchField_ = new QLineEdit(searchBox);
    searchField_->setPlaceholderText("Search applications");
    searchField_->setClearButtonEnabled(false);
    searchLayout->addWidget(searchField_);
    layout->addWidget(searchBox);

    scroll_ = new QScrollArea(this);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(true);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setFocusPolicy(Qt::NoFocus);
    rows_ = new AppPickerRowsView(*model_, scroll_);
    scroll_->setWidget(rows_);
    layout->addWidget(scroll_, 1);

    searchField_->installEventFilter(this);
    QObject::connect(searchField_, &QLineEdit::textChanged, this,
                     [this](const QString& text) { model_->setSearchText(text.toStdString()); });

    // Set before the caller's handler runs: the handler may close or delete the dialog.
    model_->onSelect = [this, onSelect = std::move(onSelect)](const std::string& id) {
        chosen_ = true;
        if (onSelect) onSelect(id);
    };
    model_->onChange = [this] { modelChanged(); };
    model_->onDismiss = [this] { done(chosen_ ? QDialog::Accepted : QDialog::Rejected); };
}

AppPickerView::~AppPickerView() {
    // The model may outlive the view in a queued scan result: it must not call back into it.
    model_->onChange = nullptr;
    model_->onDismiss = nullptr;
    model_->onSelect = nullptr;
}

void AppPickerView::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    chosen_ = false;
    model_->appear();
    QPointer<QLineEdit> field = searchField_;
    platform_.runLoop().postAfter(kFocusDelay, [field] {
        if (field) field->setFocus(Qt::OtherFocusReason);
    });
}

bool AppPickerView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == searchField_ && event->type() == QEvent::KeyPress) {
        switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Up:
            model_->moveHighlight(-1);
            return true;
        case Qt::Key_Down:
            model_->moveHighlight(1);
            return true;
        case Qt::Key_Escape:
            model_->cancel();
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            model_->submit();
            return true;
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void AppPickerView::modelChanged() {
    const QString text = QString::fromStdString(model_->searchText());
    if (searchField_->text() != text) {
        const QSignalBlocker quiet(searchField_);
        searchField_->setText(text);
    }
    rows_->reload();
    if (auto index = model_->highlightedIndex()) {
        const QRect r = rows_->rowRect(*index);
        if (r.isValid()) scroll_->ensureVisible(r.center().x(), r.center().y(), 0, r.height() / 2 + 4);
    }
}

// ---- The rows ----

AppPickerRowsView::AppPickerRowsView(AppPickerModel& model, QWidget* parent)
    : QWidget(parent), model_(model) {
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    reload();
}

void AppPickerRowsView::reload() {
    placed_.clear();
    const int rowHeight = model_.showBundleID ? kRowHeightWithID : kRowHeight;
    int y = kListInset;
    int index = 0;
    const int width = std::max(this->width(), AppPickerView::kWidth) - 2 * kListInset;
    auto section = [&](const char* title) {
        placed_.push_back({-1, title, QRect(kListInset, y, width, kSectionHeight)});
        y += kSectionHeight;
    };
    auto row = [&] {
        placed_.push_back({index++, {}, QRect(kListInset, y, width, rowHeight)});
        y += rowHeight;
    };
    if (model_.customCandidate()) row();
    if (!model_.filteredRunningApps().empty()) {
        section("Running Apps");
        for (std::size_t i = 0; i < model_.filteredRunningApps().size(); ++i)
            row();
    }
    if (!model_.filteredInstalledApps().empty()) {
        section("Installed Apps");
        for (std::size_t i = 0; i < model_.filteredInstalledApps().size(); ++i)
            row();
    }
    setMinimumHeight(y + kListInset);
    update();
}

QRect AppPickerRowsView::rowRect(int index) const {
    for (const auto& p : placed_)
        if (p.row == index) return p.rect;
    return {};
}

std::optional<int> AppPickerRowsView::rowAt(QPoint point) const {
    for (const auto& p : placed_)
        if (p.row >= 0 && p.rect.contains(point)) return p.row;
    return std::nullopt;
}

void AppPickerRowsView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    if (auto row = rowAt(event->position().toPoint())) model_.selectRow(*row);
}

QImage AppPickerRowsView::iconFor(const AppInfo& app) {
    if (auto it = icons_.find(app.bundleID); it != icons_.end()) return it->second;
    if (requested_.insert(app.bundleID).second) {
        QPointer<AppPickerRowsView> self = this;
        IconCache::shared()->icon(app.bundleID, app.pid, [self, id = app.bundleID](const QImage& image) {
            if (!self) return;
            self->icons_[id] = image;
            self->update();
        });
        if (auto it = icons_.find(app.bundleID); it != icons_.end()) return it->second;
    }
    return {};
}

void AppPickerRowsView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const auto rows = model_.rows();
    const auto highlighted = model_.highlightedIndex();
    const QColor primary(30, 30, 34);
    const QColor secondary(110, 110, 118);

    for (const auto& p : placed_) {
        if (!p.rect.intersects(event->rect())) continue;
        if (p.row < 0) {
            painter.setFont(sizedFont(11, QFont::DemiBold));
            painter.setPen(secondary);
            painter.drawText(p.rect.adjusted(8, 0, -8, -4), Qt::AlignLeft | Qt::AlignBottom, p.title);
            continue;
        }
        const auto& row = rows[static_cast<std::size_t>(p.row)];
        const bool isHighlighted = highlighted && *highlighted == p.row;
        const QRect content = p.rect.adjusted(8, 6, -8, -6);
        const QRect icon(content.left(), content.center().y() - kIconSide / 2 + 1, kIconSide, kIconSide);
        const QRect text(icon.right() + 11, content.top(), content.width() - kIconSide - 40,
                         content.height());

        if (const auto* custom = std::get_if<CustomBundleIDRow>(&row)) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(withAlpha(accent(), isHighlighted ? 0.22 : 0.1));
            painter.drawRoundedRect(p.rect, 8, 8);
            QPen dashed(withAlpha(primary, 0.35), 1);
            dashed.setDashPattern({3, 3});
            painter.setPen(dashed);
            painter.setBrush(Qt::NoBrush);
            painter.drawRoundedRect(QRectF(icon).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
            painter.setPen(secondary);
            painter.setFont(sizedFont(14, QFont::DemiBold));
            painter.drawText(icon, Qt::AlignCenter, "+");
            painter.setPen(primary);
            painter.setFont(sizedFont(13, QFont::DemiBold));
            painter.drawText(text.adjusted(0, 0, 0, -text.height() / 2), Qt::AlignLeft | Qt::AlignBottom,
                             "Use custom ID");
            painter.setPen(secondary);
            painter.setFont(sizedFont(11, QFont::Normal));
            painter.drawText(text.adjusted(0, text.height() / 2 + 2, 0, 0), Qt::AlignLeft | Qt::AlignTop,
                             painter.fontMetrics().elidedText(QString::fromStdString(custom->bundleID),
                                                              Qt::ElideMiddle, text.width()));
            painter.setFont(sizedFont(13, QFont::Medium));
            painter.drawText(QRect(content.right() - 16, content.top(), 16, content.height()),
                             Qt::AlignCenter, QString::fromUtf8("\xE2\x86\x97"));
            continue;
        }

        const auto& app = std::get<AppInfo>(row);
        const bool isSelected = app.bundleID == model_.selectedBundleID;
        if (isHighlighted || isSelected) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(withAlpha(accent(), isHighlighted ? 0.22 : 0.14));
            painter.drawRoundedRect(p.rect, 8, 8);
        }
        const QImage image = iconFor(app);
        if (!image.isNull()) painter.drawImage(icon, image);
        const QString name = QString::fromStdString(app.name);
        painter.setPen(primary);
        painter.setFont(sizedFont(13, QFont::Medium));
        if (model_.showBundleID) {
            painter.drawText(text.adjusted(0, 0, 0, -text.height() / 2), Qt::AlignLeft | Qt::AlignBottom,
                             painter.fontMetrics().elidedText(name, Qt::ElideRight, text.width()));
            painter.setPen(secondary);
            painter.setFont(sizedFont(11, QFont::Normal));
            painter.drawText(text.adjusted(0, text.height() / 2 + 2, 0, 0), Qt::AlignLeft | Qt::AlignTop,
                             painter.fontMetrics().elidedText(QString::fromStdString(app.bundleID),
                                                              Qt::ElideMiddle, text.width()));
        } else {
            painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter,
                             painter.fontMetrics().elidedText(name, Qt::ElideRight, text.width()));
        }
        if (isSelected) {
            painter.setPen(accent());
            painter.setFont(sizedFont(14, QFont::Bold));
            painter.drawText(QRect(content.right() - 16, content.top(), 16, content.height()),
                             Qt::AlignCenter, QString::fromUtf8("\xE2\x9C\x93"));
        }
    }
}

} // namespace korvane
