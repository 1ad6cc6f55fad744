// The General page's sections.
#include "ui/settings/GeneralSettingsView.h"

#include "app/PermissionManager.h"
#include "input/KeyNames.h"
#include "platform/NotificationCenter.h"
#include "platform/Platform.h"
#include "ui/settings/DragSnapBlacklistView.h"
#include "ui/settings/PermissionsSection.h"
#include "ui/settings/SettingsForm.h"
#include "ui/settings/SettingsViewModel.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#ifndef KORVANE_VERSION
#define KORVANE_VERSION ""
#endif

namespace korvane {

namespace {

// The keys held for every gesture, named as the Shortcuts page names keys.
QString gestureKeys() {
    return QString::fromStdString(KeyNames::combination({"ctrl", "alt"}, ""));
}

} // namespace

GeneralSettingsView::GeneralSettingsView(platform::Platform& platform, SettingsViewModel& model,
                                         std::shared_ptr<PermissionManager> permissionManager,
                                         QWidget* parent)
    : QWidget(parent), model_(model), permissionManager_(std::move(permissionManager)) {
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(20, 20, 20, 20);

    auto* startup = addSettingsSection(page, "Startup");
    launchAtLogin_ = new QCheckBox("Launch Korvane at login");
    launchCaption_ = makeCaption({});
    startup->addWidget(launchAtLogin_);
    startup->addWidget(launchCaption_);
    // The owner changes the autostart entry first; the box follows what it did, whether or not the model
    // changed: a switch that failed again leaves the model as it was, and the box the click ticked must
    // not stay ticked over an entry that was never written.
    connect(launchAtLogin_, &QCheckBox::toggled, this, [this](bool on) {
        model_.switchLaunchAtLogin(on);
        refresh();
    });

    auto* scenes = addSettingsSection(page, "Scenes");
    prompt_ = new QCheckBox("Show setup prompt when unconfigured display is connected");
    park_ = new QCheckBox("Park unassigned windows on scene restore");
    parkCaption_ = makeCaption({});
    auto* manager = new QPushButton("Open Scene Manager");
    auto* managerLine = new QHBoxLayout;
    managerLine->addWidget(manager);
    managerLine->addStretch(1);
    scenes->addWidget(prompt_);
    scenes->addWidget(park_);
    scenes->addWidget(parkCaption_);
    scenes->addLayout(managerLine);
    connect(prompt_, &QCheckBox::toggled, this,
            [this](bool on) { model_.setShowUnconfiguredDisplayPrompt(on); });
    connect(park_, &QCheckBox::toggled, this, [this](bool on) { model_.setParkUnmanagedWindows(on); });
    connect(manager, &QPushButton::clicked, this, [this] {
        if (model_.callbacks().onOpenSceneManager) model_.callbacks().onOpenSceneManager();
    });

    auto* sdp = addSettingsSection(page, "Stack Direct Protocol (SDP)",
                                   "SDP provides unified " + gestureKeys() +
                                       " gestures for window management: drag any window part, cycle zones "
                                       "with the scroll wheel, and right-click for the global switcher.");
    sdp_ = new QCheckBox("Enable Stack Direct Protocol (SDP)");
    sdpCaption_ = makeCaption({});
    invert_ = new QCheckBox("Invert scroll direction");
    sdp->addWidget(sdp_);
    sdp->addWidget(sdpCaption_);
    sdp->addWidget(invert_);
    connect(sdp_, &QCheckBox::toggled, this, [this](bool on) { model_.setSDPEnabled(on); });
    connect(invert_, &QCheckBox::toggled, this, [this](bool on) { model_.setSDPInvertScroll(on); });

    auto* compatibility =
        addSettingsSection(page, "App Compatibility",
                           "Some apps (e.g., Telegram) draw their own title bar and move their windows "
                           "themselves. Add them here to snap their drags into a zone without checking that "
                           "the window follows the pointer.");
    blacklist_ = new DragSnapBlacklistView(platform, model_);
    compatibility->addWidget(blacklist_);

    auto* permissions = addSettingsSection(page, "Permissions");
    permissions_ = new PermissionsSectionView(platform.workspace(), permissionManager_);
    permissions->addWidget(permissions_);

    auto* about = addSettingsSection(page, "About");
    about->addWidget(new QLabel(versionText(KORVANE_VERSION)));
    page->addStretch(1);

    QPointer<GeneralSettingsView> guard(this);
    observation_ = model_.observeChanges([guard] {
        if (guard) guard->refresh();
    });
    refresh();
}

GeneralSettingsView::~GeneralSettingsView() = default;

QString GeneralSettingsView::versionText(const char* version) {
    const QString text = version ? QString::fromUtf8(version) : QString();
    return "Version " + (text.isEmpty() ? QString("?") : text);
}

void GeneralSettingsView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (permissionManager_) permissionManager_->checkPermissions();
    permissions_->refresh();
}

void GeneralSettingsView::refresh() {
    auto show = [](QCheckBox* box, bool on) {
        const QSignalBlocker quiet(box);
        box->setChecked(on);
    };
    show(launchAtLogin_, model_.isLaunchAtLogin);
    launchCaption_->setText(model_.launchAtLoginFailure ? QString::fromStdString(*model_.launchAtLoginFailure)
                            : model_.isLaunchAtLogin    ? "Korvane will start automatically when you log in."
                                                     : "Korvane will only start when you open it manually.");
    show(prompt_, model_.showUnconfiguredDisplayPrompt);
    show(park_, model_.parkUnmanagedWindows);
    parkCaption_->setText(
        model_.parkUnmanagedWindows
            ? "Windows not assigned to any zone will be moved off-screen during scene restore."
            : "Unassigned windows stay where they are during scene restore.");
    show(sdp_, model_.sdpEnabled);
    sdpCaption_->setText(model_.sdpEnabled
                             ? gestureKeys() + " gestures enabled: drag from window body, scroll to "
                                               "cycle zones, right-click for global switcher."
                             : "SDP disabled. Use standard hotkeys and title bar dragging only.");
    show(invert_, model_.sdpInvertScroll);
    // Absent, not disabled, while the gestures are off.
    invert_->setVisible(model_.sdpEnabled);
}

} // namespace korvane
