// The settings window's root: the sidebar, the pages and the recording's key filter.
#include "ui/settings/SettingsView.h"

#include "platform/NotificationCenter.h"
#include "ui/overlays/Overlay.h"
#include "ui/settings/GeneralSettingsView.h"
#include "ui/settings/HotkeysSettingsView.h"
#include "ui/settings/RecordingKeyFilter.h"
#include "ui/settings/SettingsSymbols.h"
#include "ui/settings/SettingsViewModel.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace korvane {

SettingsView::SettingsView(platform::Platform& platform, std::shared_ptr<SettingsViewModel> model,
                           std::shared_ptr<PermissionManager> permissionManager, QWidget* parent)
    : QWidget(parent), model_(std::move(model)) {
    setMinimumSize(700, 450);
    auto* split = new QHBoxLayout(this);
    split->setContentsMargins(0, 0, 0, 0);
    split->setSpacing(0);

    auto* side = new QWidget;
    side->setObjectName("settingsSidebar");
    side->setFixedWidth(200);
    side->setStyleSheet(
        "#settingsSidebar { background: palette(window); border-right: 1px solid palette(mid); }");
    auto* sideLayout = new QVBoxLayout(side);
    sideLayout->setContentsMargins(10, 14, 10, 10);
    auto* title = new QLabel("Preferences");
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    sideLayout->addWidget(title);
    sidebar_ = new QListWidget;
    sidebar_->setFrameShape(QFrame::NoFrame);
    sidebar_->setIconSize(QSize(16, 16));
    sidebar_->setStyleSheet("QListWidget { background: transparent; } "
                            "QListWidget::item { padding: 5px; border-radius: 5px; } "
                            "QListWidget::item:selected { background: palette(highlight); "
                            "color: palette(highlighted-text); }");
    const QColor ink = palette().color(QPalette::WindowText);
    sidebar_->addItem(
        new QListWidgetItem(QIcon(settingsSymbol(SettingsSymbol::gear, ink, 16, devicePixelRatioF())),
                            settingsTabRawValue(SettingsTab::general)));
    sidebar_->addItem(
        new QListWidgetItem(QIcon(settingsSymbol(SettingsSymbol::keyboard, ink, 16, devicePixelRatioF())),
                            settingsTabRawValue(SettingsTab::hotkeys)));
    sideLayout->addWidget(sidebar_);
    split->addWidget(side);

    pages_ = new QStackedWidget;
    general_ = new GeneralSettingsView(platform, *model_, std::move(permissionManager));
    hotkeys_ = new HotkeysSettingsView(*model_);
    pages_->addWidget(scrolledWhereShort(general_));
    pages_->addWidget(scrolledWhereShort(hotkeys_));
    split->addWidget(pages_, 1);

    connect(sidebar_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0) model_->setSelectedTab(row == 1 ? SettingsTab::hotkeys : SettingsTab::general);
    });

    QPointer<SettingsView> guard(this);
    observation_ = model_->observeChanges([guard] {
        if (guard) guard->refresh();
    });
    // A recording under way when the view is made is not one it starts watching: only a change counts.
    filteredAction_ = model_->recordingAction;
    refresh();
}

SettingsView::~SettingsView() {
    removeKeyFilter();
}

void SettingsView::refresh() {
    const int row = model_->selectedTab == SettingsTab::hotkeys ? 1 : 0;
    {
        const QSignalBlocker quiet(sidebar_);
        sidebar_->setCurrentRow(row);
    }
    pages_->setCurrentIndex(row);

    if (model_->recordingAction == filteredAction_) return;
    filteredAction_ = model_->recordingAction;
    // One filter at most, and none while nothing is recorded: typing elsewhere is never intercepted.
    removeKeyFilter();
    if (model_->recordingAction) {
        keyFilter_ = new RecordingKeyFilter(
            *model_,
            [page = QPointer<HotkeysSettingsView>(hotkeys_)]() -> const QWidget* {
                return page ? page->recordingButton() : nullptr;
            },
            this);
        qApp->installEventFilter(keyFilter_);
    }
}

void SettingsView::removeKeyFilter() {
    if (!keyFilter_) return;
    if (qApp) qApp->removeEventFilter(keyFilter_);
    // Later: the recording usually ends inside the filter's own handling of a key.
    keyFilter_->deleteLater();
    keyFilter_ = nullptr;
}

bool SettingsView::event(QEvent* event) {
    // Another window has the keyboard: what the user types now is not for the recorder.
    if (event->type() == QEvent::WindowDeactivate) model_->stopRecording();
    return QWidget::event(event);
}

void SettingsView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    // A recording ends with the window: a key typed later in another application is not a shortcut.
    removeKeyFilter();
    model_->stopRecording();
}

} // namespace korvane
