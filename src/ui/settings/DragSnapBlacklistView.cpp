// The exclusion list's rows and its picker sheet.
#include "ui/settings/DragSnapBlacklistView.h"

#include "platform/NotificationCenter.h"
#include "platform/Platform.h"
#include "ui/settings/SettingsForm.h"
#include "ui/settings/SettingsSymbols.h"
#include "ui/settings/SettingsViewModel.h"
#include "ui/switchers/AppPickerView.h"
#include "ui/switchers/IconCache.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace korvane {

namespace {

constexpr int kIconSide = 20;
const QColor kRemoveColour(0xD9, 0x30, 0x25);

// The icon cache's picture of the application, once it has it: at once when it is in memory, else a
// moment later from the cache's queue, to a label still there.
void showIcon(QLabel* label, const std::string& bundleID, pid_t pid, qreal ratio) {
    QPointer<QLabel> target(label);
    IconCache::shared()->icon(bundleID, pid, [target, ratio](const QImage& image) {
        if (!target) return;
        QPixmap pixmap = QPixmap::fromImage(
            image.scaled(QSize(kIconSide, kIconSide) * ratio, Qt::KeepAspectRatio, Qt::SmoothTransformation));
        pixmap.setDevicePixelRatio(ratio);
        target->setPixmap(pixmap);
    });
}

// What of the running applications the rows show: each one's bundle identifier and name.
std::vector<std::string> cachedNames(const SettingsViewModel& model) {
    std::vector<std::string> names;
    for (const auto& [bundleID, info] : model.runningAppsCache)
        names.push_back(bundleID + "\n" + info.name);
    return names;
}

} // namespace

struct DragSnapBlacklistView::Sheet {
    QPointer<QWidget> widget;
};

DragSnapBlacklistView::DragSnapBlacklistView(platform::Platform& platform, SettingsViewModel& model,
                                             QWidget* parent)
    : QWidget(parent), platform_(platform), model_(model), sheet_(std::make_unique<Sheet>()) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    rows_ = new QVBoxLayout;
    rows_->setSpacing(8);
    layout->addLayout(rows_);
    add_ = new QPushButton("Add Application...");
    auto* addLine = new QHBoxLayout;
    addLine->addWidget(add_);
    addLine->addStretch(1);
    layout->addLayout(addLine);
    connect(add_, &QPushButton::clicked, this, [this] { showAppPicker(); });

    QPointer<DragSnapBlacklistView> guard(this);
    observation_ = model_.observeChanges([guard] {
        if (guard) guard->rebuildIfChanged();
    });
    rebuild();
}

DragSnapBlacklistView::~DragSnapBlacklistView() {
    if (lookAgain_) lookAgain_->cancel();
    delete sheet_->widget.data();
}

void DragSnapBlacklistView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    orderKeyboard();
    lookAgain();
}

void DragSnapBlacklistView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (lookAgain_) lookAgain_->cancel();
}

void DragSnapBlacklistView::lookAgain() {
    // A refresh of the cache tells the observers, and a change of a name redraws the rows.
    for (const auto& bundleID : model_.dragSnapBlacklist)
        model_.cachedAppInfo(bundleID);
    scheduleLookAgain();
}

void DragSnapBlacklistView::scheduleLookAgain() {
    if (lookAgain_) lookAgain_->cancel();
    lookAgain_.reset();
    if (!isVisible() || !model_.lastAppCacheUpdate) return;
    const bool lacking =
        std::any_of(model_.dragSnapBlacklist.begin(), model_.dragSnapBlacklist.end(),
                    [&](const std::string& id) { return !model_.runningAppsCache.count(id); });
    if (!lacking) return;
    auto& loop = platform_.runLoop();
    // Just past the moment the cache counts as old.
    const Nanos due = *model_.lastAppCacheUpdate + SettingsViewModel::kAppCacheLifetime + milliseconds(1);
    QPointer<DragSnapBlacklistView> guard(this);
    lookAgain_ = loop.postAfter(std::max<Nanos>(due - loop.now(), 0), [guard] {
        if (guard) guard->lookAgain();
    });
}

void DragSnapBlacklistView::rebuildIfChanged() {
    if (rebuilding_) return;
    if (model_.dragSnapBlacklist == shownList_ && cachedNames(model_) == shownNames_) return;
    rebuild();
}

void DragSnapBlacklistView::rebuild() {
    // A look-up may refresh the cache, which tells this view again: the rows are made once, after it.
    rebuilding_ = true;
    const std::vector<std::string> list = model_.dragSnapBlacklist;
    std::vector<std::optional<SettingsViewModel::AppInfo>> infos;
    for (const auto& bundleID : list)
        infos.push_back(model_.cachedAppInfo(bundleID));
    rebuilding_ = false;

    // Removed later: the button that asked for the change may be one of them.
    for (QWidget* row : rowWidgets_) {
        rows_->removeWidget(row);
        row->hide();
        row->deleteLater();
    }
    rowWidgets_.clear();
    const qreal ratio = devicePixelRatioF();
    for (std::size_t i = 0; i < list.size(); ++i) {
        const std::string& bundleID = list[i];
        auto* row = new QWidget;
        row->setObjectName(QString::fromStdString("blacklistRow:" + bundleID));
        auto* line = new QHBoxLayout(row);
        line->setContentsMargins(0, 0, 0, 0);
        auto* icon = new QLabel;
        icon->setFixedSize(kIconSide, kIconSide);
        QLabel* title = nullptr;
        if (infos[i]) {
            showIcon(icon, bundleID, infos[i]->pid, ratio);
            title = new QLabel(QString::fromStdString(infos[i]->name));
        } else {
            icon->setPixmap(settingsSymbol(SettingsSymbol::dashedApp,
                                           palette().color(QPalette::PlaceholderText), kIconSide, ratio));
            title = new QLabel(QString::fromStdString(bundleID));
            title->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
            makeSecondary(title);
        }
        auto* remove = new QToolButton;
        remove->setAutoRaise(true);
        remove->setIcon(QIcon(settingsSymbol(SettingsSymbol::minusCircle, kRemoveColour, 16, ratio)));
        remove->setToolTip("Remove");
        line->addWidget(icon);
        line->addWidget(title);
        line->addStretch(1);
        line->addWidget(remove);
        connect(remove, &QToolButton::clicked, this,
                [this, bundleID] { model_.removeFromDragSnapBlacklist(bundleID); });
        rows_->addWidget(row);
        rowWidgets_.push_back(row);
    }
    shownList_ = list;
    shownNames_ = cachedNames(model_);
    orderKeyboard();
    scheduleLookAgain();
}

void DragSnapBlacklistView::orderKeyboard() {
    // The keyboard goes down the rows' remove buttons and then to "Add Application...", as they show;
    // rows made anew would otherwise come after the button made once. Done again once the view is in its
    // window: taking it into the window reorders what was chained before.
    QWidget* previous = nullptr;
    for (QWidget* row : rowWidgets_)
        for (QToolButton* remove : row->findChildren<QToolButton*>()) {
            if (previous) QWidget::setTabOrder(previous, remove);
            previous = remove;
        }
    if (previous) QWidget::setTabOrder(previous, add_);
}

void DragSnapBlacklistView::showAppPicker() {
    if (sheet_->widget) {
        sheet_->widget->raise();
        return;
    }
    QPointer<DragSnapBlacklistView> guard(this);
    auto* picker = new AppPickerView(
        platform_, selectedBundleID_, false,
        [guard](const std::string& bundleID) {
            if (!guard) return;
            guard->selectedBundleID_ = bundleID;
            guard->model_.addToDragSnapBlacklist(bundleID);
            guard->selectedBundleID_.clear();
        },
        window());
    // Dismissed by a choice or by Escape, it goes; the next "Add Application..." makes it afresh.
    picker->setAttribute(Qt::WA_DeleteOnClose);
    sheet_->widget = picker;
    picker->open();
}

QWidget* DragSnapBlacklistView::appPickerSheet() const {
    return sheet_->widget;
}

} // namespace korvane
