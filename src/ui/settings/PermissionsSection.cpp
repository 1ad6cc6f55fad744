// The permissions section: its pane openers and its rows.
#include "ui/settings/PermissionsSection.h"

#include "app/PermissionManager.h"
#include "app/PrivacySettings.h"
#include "platform/Logging.h"
#include "platform/NotificationCenter.h"
#include "ui/settings/SettingsForm.h"
#include "ui/settings/SettingsSymbols.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace korvane {

namespace {

const QColor kGranted(0x34, 0xA8, 0x53);
const QColor kMissing(0xD9, 0x30, 0x25);

} // namespace

PermissionsSection::PermissionsSection(platform::Workspace& workspace) : workspace_(workspace) {}

bool PermissionsSection::openAccessibilitySettings() {
    return openPrivacyPane(workspace_, PrivacyPane::accessibility);
}

bool PermissionsSection::openScreenRecordingSettings() {
    return openPrivacyPane(workspace_, PrivacyPane::screenRecording);
}

PermissionsSectionView::PermissionsSectionView(platform::Workspace& workspace,
                                               std::shared_ptr<PermissionManager> manager, QWidget* parent)
    : QWidget(parent), section_(workspace), manager_(std::move(manager)) {
    auto* rows = new QVBoxLayout(this);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(8);
    auto addRow = [&](Row& row, const QString& title) {
        auto* line = new QHBoxLayout;
        row.symbol = new QLabel;
        row.title = new QLabel(title);
        row.state = new QLabel;
        makeSecondary(row.state);
        line->addWidget(row.symbol);
        line->addWidget(row.title);
        line->addStretch(1);
        line->addWidget(row.state);
        rows->addLayout(line);
    };
    // On X11 the accessibility grant is a window manager that follows the EWMH conventions, running.
    addRow(accessibility_, "Window Manager (EWMH)");
    addRow(screenRecording_, "Screen Recording");

    auto* buttons = new QHBoxLayout;
    auto* check = new QPushButton("Check Permissions");
    auto* openAX = new QPushButton("Window Manager Help");
    openAX->setObjectName("accessibilityHelp");
    // Only while there is a grant to give: X11 has none, and the row says so.
    openScreenRecording_ = new QPushButton("Screen Recording Help");
    openScreenRecording_->setObjectName("screenRecordingHelp");
    buttons->addWidget(check);
    buttons->addStretch(1);
    buttons->addWidget(openAX);
    buttons->addWidget(openScreenRecording_);
    rows->addLayout(buttons);
    connect(check, &QPushButton::clicked, this, [this] { checkPermissions(); });
    connect(openAX, &QPushButton::clicked, this, [this] { open(true); });
    connect(openScreenRecording_, &QPushButton::clicked, this, [this] { open(false); });

    // Where the desktop has no privacy panes the buttons say what gives the grant instead.
    help_ = makeCaption({});
    help_->setObjectName("permissionHelp");
    help_->hide();
    rows->addWidget(help_);
    rows->addWidget(makeCaption(
        "If window switching stops working, check here that the window manager is still running."));

    if (manager_) {
        // The manager tells before it stores: the rows are read once the store is done.
        QPointer<PermissionsSectionView> guard(this);
        observation_ = manager_->observeChanges([guard] {
            QTimer::singleShot(0, [guard] {
                if (guard) guard->refresh();
            });
        });
    }
    refresh();
}

PermissionsSectionView::~PermissionsSectionView() = default;

void PermissionsSectionView::checkPermissions() {
    platform::consoleSink()->writeLine("[Settings] Permission check requested");
    if (!manager_) return;
    manager_->checkPermissions();
    refresh();
}

void PermissionsSectionView::refresh() {
    const bool windowManager = manager_ && manager_->isAccessibilityGranted();
    showRow(accessibility_, windowManager, windowManager ? "Running" : "Not Running");
    // Granted is all X11 ever answers: window titles are open to every program on the display.
    const bool screenRecording = manager_ && manager_->isScreenRecordingGranted();
    showRow(screenRecording_, screenRecording, screenRecording ? "Not Needed" : "Not Granted");
    openScreenRecording_->setVisible(!screenRecording);
}

void PermissionsSectionView::showRow(Row& row, bool granted, const QString& state) {
    const QColor colour = granted ? kGranted : kMissing;
    row.symbol->setPixmap(settingsSymbol(granted ? SettingsSymbol::sealCheck : SettingsSymbol::sealCross,
                                         colour, 16, devicePixelRatioF()));
    row.title->setStyleSheet(QString("color: %1;").arg(colour.name()));
    row.state->setText(state);
}

void PermissionsSectionView::open(bool accessibility) {
    const bool opened =
        accessibility ? section_.openAccessibilitySettings() : section_.openScreenRecordingSettings();
    if (opened) {
        help_->hide();
        return;
    }
    help_->setText(QString::fromStdString(
        privacyPaneHelp(accessibility ? PrivacyPane::accessibility : PrivacyPane::screenRecording)));
    help_->show();
}

} // namespace korvane
