// The pages of the "Preferences" window on Qt's offscreen platform, driven as a user drives them: the
// General page with the gestures on and off, the launch toggle and its failure, the exclusion list, the
// permission rows, the Shortcuts page idle, recording with its key filter and refusing a key alone, the
// window torn down while it records, the digit row's modifier toggles, whose last of Ctrl, Alt and Super
// stays on, and "Open Config File" with nothing to show the file. Each state a person should look at is
// left as a picture under build/screenshots.
#include "app/PermissionManager.h"
#include "input/HotkeyCenter.h"
#include "input/HotkeyManager.h"
#include "platform/HotKeys.h"
#include "platform/Logging.h"
#include "platform/sim/SimDesktop.h"
#include "support/Screenshot.h"
#include "ui/settings/DragSnapBlacklistView.h"
#include "ui/settings/GeneralSettingsView.h"
#include "ui/settings/HotkeysSettingsView.h"
#include "ui/settings/RecordingKeyFilter.h"
#include "ui/settings/SettingsView.h"
#include "ui/settings/SettingsViewModel.h"
#include "ui/settings/SettingsWindowController.h"
#include "ui/settings/ShortcutRecorderButton.h"
#include "ui/switchers/AppPickerView.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace korvane;
using nlohmann::json;

namespace {

class SettingsPagesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        desktop->accessibility().setProcessTrusted(false);
        permissions = PermissionManager::create(*desktop);
        SettingsViewModel::Callbacks callbacks;
        callbacks.isLaunchAtLoginProvider = [this] { return atLogin; };
        callbacks.setLaunchAtLoginHandler = [this](bool on) -> std::optional<std::string> {
            launchCalls.push_back({on, model->isLaunchAtLogin});
            if (launchFailure) return launchFailure;
            atLogin = on;
            return std::nullopt;
        };
        callbacks.openHotkeyConfigHandler = [this](SettingsViewModel::FailureHandler failed) {
            if (openFailure) failed(*openFailure);
        };
        callbacks.loadHotkeyConfigHandler = [this] { return owned; };
        callbacks.updateHotkeyConfigHandler = [this](const HotkeyConfig& c) { owned = c; };
        callbacks.resetHotkeyConfigHandler = [] { return HotkeyConfig::defaults(0); };
        callbacks.suspendHotkeysHandler = [this] { return center->suspend(); };
        callbacks.unheldBindingsProvider = [this] { return unheld; };
        model = std::make_shared<SettingsViewModel>(*desktop, std::move(callbacks));
        controller = std::make_unique<SettingsWindowController>(*desktop, model, permissions);
    }
    void TearDown() override {
        controller.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    void show() {
        controller->showWindow();
        QCoreApplication::processEvents();
    }
    // Lets deferred deletions and queued redraws happen, as the event loop would between two clicks.
    static void settle() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
    SettingsView& view() { return *controller->view(); }
    template <class W> W* named(QWidget* root, const QString& text) {
        for (W* widget : root->findChildren<W*>())
            if (widget->text() == text && !widget->isHidden()) return widget;
        return nullptr;
    }
    QCheckBox* toggle(const QString& text) { return named<QCheckBox>(view().generalPage(), text); }
    bool showsLabel(QWidget* root, const QString& text) { return named<QLabel>(root, text) != nullptr; }
    // The row's control on the page; a row replaced but not yet deleted is hidden and not it.
    template <class W = QWidget> W* rowControl(const std::string& action) {
        for (W* w : view().hotkeysPage()->findChildren<W*>(QString::fromStdString("shortcut:" + action)))
            if (!w->isHidden()) return w;
        return nullptr;
    }
    ShortcutRecorderButton* recorder(const std::string& action) {
        return rowControl<ShortcutRecorderButton>(action);
    }
    // The recording's key filters alive under the view.
    std::vector<QObject*> keyFilters() {
        std::vector<QObject*> out;
        for (QObject* child : view().findChildren<QObject*>(RecordingKeyFilter::kObjectName))
            out.push_back(child);
        return out;
    }
    void picture(const char* name) { korvane::testing::saveScreenshot(*controller->window(), name); }
    // Every text shown under `root` is whole: no label or button narrower than its text needs.
    static void expectNothingClipped(QWidget* root) {
        for (QLabel* l : root->findChildren<QLabel*>()) {
            if (l->isHidden() || l->text().isEmpty() || !l->isVisibleTo(root)) continue;
            if (l->wordWrap()) {
                EXPECT_GE(l->height(), l->heightForWidth(l->width())) << l->text().toStdString();
            } else {
                EXPECT_GE(l->width(), l->sizeHint().width()) << l->text().toStdString();
            }
        }
        for (QAbstractButton* b : root->findChildren<QAbstractButton*>()) {
            if (b->isVisibleTo(root) && !b->text().isEmpty()) {
                EXPECT_GE(b->width(), b->sizeHint().width()) << b->text().toStdString();
            }
        }
    }
    // Nothing under `root` names a key by another desktop's symbol or speaks of its facilities.
    static void expectNoOtherDesktopsWords(QWidget* root) {
        const QStringList foreign = {"\u2303", "\u2325", "\u21E7",          "\u2318",
                                     "\u21E5", "macOS",  "System Settings", "Accessibility API",
                                     "AX -",   "radial"};
        for (QWidget* w : root->findChildren<QWidget*>()) {
            QString text;
            if (auto* l = qobject_cast<QLabel*>(w)) text = l->text();
            if (auto* b = qobject_cast<QAbstractButton*>(w)) text = b->text();
            for (const QString& word : foreign)
                EXPECT_FALSE(text.contains(word)) << text.toStdString();
        }
    }

    sim::ScopedSimDesktop desktop;
    std::shared_ptr<HotkeyCenter> center = std::make_shared<HotkeyCenter>(*desktop);
    std::shared_ptr<PermissionManager> permissions;
    bool atLogin = false;
    std::vector<std::pair<bool, bool>> launchCalls;   // the value asked for, the field at the call
    std::optional<std::string> launchFailure;         // why the owner cannot switch start at login
    std::optional<std::string> openFailure;           // why nothing shows the hot-key file
    std::vector<HotkeyManager::UnheldBinding> unheld; // what the owner says it cannot hold
    HotkeyConfig owned = HotkeyConfig::defaults(0);
    std::shared_ptr<SettingsViewModel> model;
    std::unique_ptr<SettingsWindowController> controller;
};

} // namespace

TEST_F(SettingsPagesTest, theInvertRowIsThereOnlyWhileTheGesturesAreOnAndTheCaptionFollowsTheSwitch) {
    const platform::IconImage icon{2, 2, {0xFF3366CC, 0xFF3366CC, 0xFF3366CC, 0xFF3366CC}, {}};
    const pid_t chat = desktop->workspace().launch({.bundleID = "com.example.chat", .name = "Chat"});
    desktop->workspace().setApplicationIcon(chat, icon);
    model->addToDragSnapBlacklist("com.example.chat");
    desktop->loop().advance(seconds(6)); // listed after the page's first look-up: known once the cache is old
    model->refreshRunningAppsCache();
    show();
    ASSERT_TRUE(toggle("Invert scroll direction"));
    // The keys and the facilities in this desktop's words.
    EXPECT_TRUE(showsLabel(view().generalPage(),
                           "Ctrl+Alt gestures enabled: drag from window body, scroll to "
                           "cycle zones, right-click for global switcher."));
    EXPECT_TRUE(
        showsLabel(view().generalPage(),
                   "SDP provides unified Ctrl+Alt gestures for window management: drag any window "
                   "part, cycle zones with the scroll wheel, and right-click for the global switcher."));
    EXPECT_TRUE(showsLabel(view().generalPage(),
                           "Some apps (e.g., Telegram) draw their own title bar and move their windows "
                           "themselves. Add them here to snap their drags into a zone without checking that "
                           "the window follows the pointer."));
    EXPECT_TRUE(showsLabel(view().generalPage(), "Version 0.1.0"));
    expectNoOtherDesktopsWords(view().generalPage());
    picture("settings-general-sdp-on.png");
    // The whole page, below the window's fold too.
    korvane::testing::saveScreenshot(*view().generalPage(), "settings-general-page.png");
    expectNothingClipped(view().generalPage());

    toggle("Enable Stack Direct Protocol (SDP)")->click();
    EXPECT_FALSE(model->sdpEnabled);
    EXPECT_EQ(desktop->defaults().object(SettingsViewModel::kSDPEnabledKey), json(false));
    EXPECT_FALSE(toggle("Invert scroll direction")) << "absent while the gestures are off";
    EXPECT_TRUE(
        showsLabel(view().generalPage(), "SDP disabled. Use standard hotkeys and title bar dragging only."));
    settle(); // the section closes up where the row was
    picture("settings-general-sdp-off.png");

    model->setSDPInvertScroll(true); // stored while hidden: the row comes back with it
    toggle("Enable Stack Direct Protocol (SDP)")->click();
    ASSERT_TRUE(toggle("Invert scroll direction"));
    EXPECT_TRUE(toggle("Invert scroll direction")->isChecked());
    toggle("Invert scroll direction")->click();
    EXPECT_EQ(desktop->defaults().object(SettingsViewModel::kSDPInvertScrollKey), json(false));

    EXPECT_EQ(GeneralSettingsView::versionText(""), "Version ?");
}

// The owner could not write the autostart entry: the box is not left ticked over an entry that is not
// there, and the reason stands under it until a switch that takes. "Open Config File" with nothing to
// show the file says why under its button.
TEST_F(SettingsPagesTest, aLaunchSwitchOrAnOpeningThatFailsSaysWhyUnderItsControl) {
    show();
    QCheckBox* launch = toggle("Launch Korvane at login");
    ASSERT_TRUE(launch);
    launchFailure = "Korvane could not add its autostart entry: Not a directory.";
    launch->click();
    EXPECT_FALSE(launch->isChecked());
    EXPECT_FALSE(model->isLaunchAtLogin);
    EXPECT_TRUE(
        showsLabel(view().generalPage(), "Korvane could not add its autostart entry: Not a directory."));
    picture("preferences-launch-at-login-failed.png");
    // Failing again changes nothing in the model: the box the click ticked is unticked all the same.
    launch->click();
    EXPECT_FALSE(launch->isChecked());
    EXPECT_TRUE(
        showsLabel(view().generalPage(), "Korvane could not add its autostart entry: Not a directory."));
    launchFailure.reset();
    launch->click();
    EXPECT_TRUE(launch->isChecked());
    EXPECT_TRUE(showsLabel(view().generalPage(), "Korvane will start automatically when you log in."));

    model->setSelectedTab(SettingsTab::hotkeys);
    settle();
    QPushButton* open = named<QPushButton>(view().hotkeysPage(), "Open Config File");
    ASSERT_TRUE(open);
    openFailure = "Could not open hotkeys.json: no file manager answers, and xdg-open cannot be started to "
                  "open its folder.";
    open->click();
    settle();
    EXPECT_TRUE(showsLabel(view().hotkeysPage(), QString::fromStdString(*openFailure)));
    expectNothingClipped(view().hotkeysPage());
    picture("preferences-open-config-file-failed.png");
}

TEST_F(SettingsPagesTest, theLaunchToggleAsksTheOwnerBeforeTheFieldChanges) {
    show();
    QCheckBox* launch = toggle("Launch Korvane at login");
    ASSERT_TRUE(launch);
    EXPECT_TRUE(showsLabel(view().generalPage(), "Korvane will only start when you open it manually."));
    launch->click();
    launch->click();
    EXPECT_EQ(launchCalls, (std::vector<std::pair<bool, bool>>{{true, false}, {false, true}}));
    EXPECT_FALSE(model->isLaunchAtLogin);

    // The other options write their keys; the park caption follows its switch.
    toggle("Park unassigned windows on scene restore")->click();
    toggle("Show setup prompt when unconfigured display is connected")->click();
    EXPECT_EQ(desktop->defaults().object(SettingsViewModel::kParkUnmanagedWindowsKey), json(true));
    EXPECT_EQ(desktop->defaults().object(SettingsViewModel::kShowUnconfiguredDisplayPromptKey), json(false));
    EXPECT_TRUE(
        showsLabel(view().generalPage(),
                   "Windows not assigned to any zone will be moved off-screen during scene restore."));
}

TEST_F(SettingsPagesTest, theExclusionListShowsARunningApplicationByNameAMissingOneByIdAndRemovesAtOnce) {
    // The application has no picture of its own: its row shows the desktop's generic one.
    desktop->workspace().setGenericApplicationIcon(
        platform::IconImage{2, 2, {0xFF3366CC, 0xFF3366CC, 0xFF3366CC, 0xFF3366CC}, {}});
    desktop->workspace().launch({.bundleID = "com.example.chat", .name = "Chat"});
    model->addToDragSnapBlacklist("com.example.chat");
    show();
    DragSnapBlacklistView* list = view().generalPage()->blacklistView();
    EXPECT_TRUE(showsLabel(list, "com.example.chat")) << "listed within five seconds of the last look-up";
    // Once the look-up may be made again, the page makes it by itself.
    desktop->loop().advance(seconds(5.1));
    desktop->loop().runUntilIdle();
    settle();
    EXPECT_TRUE(showsLabel(list, "Chat"));
    QLabel* chatIcon = list->findChild<QWidget*>("blacklistRow:com.example.chat")->findChild<QLabel*>();
    ASSERT_TRUE(chatIcon);
    const QImage chatPicture = chatIcon->pixmap().toImage();
    ASSERT_FALSE(chatPicture.isNull());
    EXPECT_EQ(chatPicture.pixelColor(chatPicture.rect().center()), QColor(0x33, 0x66, 0xCC));
    EXPECT_TRUE(showsLabel(list, "ru.keepcoder.Telegram")) << "not running: its identifier";
    EXPECT_FALSE(showsLabel(list, "com.example.chat"));
    settle();
    korvane::testing::saveScreenshot(*list, "settings-exclusion-list.png");

    QWidget* telegramRow = list->findChild<QWidget*>("blacklistRow:ru.keepcoder.Telegram");
    ASSERT_TRUE(telegramRow);
    telegramRow->findChild<QToolButton*>()->click();
    settle();
    EXPECT_EQ(model->dragSnapBlacklist,
              (std::vector<std::string>{"org.telegram.desktop", "telegram-desktop", "com.example.chat"}));
    EXPECT_EQ(desktop->defaults().object(SettingsViewModel::kDragSnapBlacklistKey),
              json({"org.telegram.desktop", "telegram-desktop", "com.example.chat"}));
    EXPECT_FALSE(showsLabel(list, "ru.keepcoder.Telegram"));

    // An empty list shows only the button.
    for (const char* id : {"org.telegram.desktop", "telegram-desktop", "com.example.chat"}) {
        list->findChild<QWidget*>(QString("blacklistRow:") + id)->findChild<QToolButton*>()->click();
        settle();
    }
    EXPECT_TRUE(list->findChildren<QToolButton*>().empty());
    EXPECT_TRUE(named<QPushButton>(list, "Add Application..."));
}

TEST_F(SettingsPagesTest, checkPermissionsShowsAGrantGivenMeanwhile) {
    show();
    QWidget* page = view().generalPage();
    auto stateOf = [&](const QString& title) -> QString {
        QLabel* label = named<QLabel>(page, title);
        if (!label) return "no row";
        QLayout* row = nullptr;
        for (QLayout* l : page->findChildren<QLayout*>())
            if (l->indexOf(label) >= 0) row = l;
        if (!row) return "no row";
        auto* state = qobject_cast<QLabel*>(row->itemAt(row->count() - 1)->widget());
        return state ? state->text() : "no state";
    };
    // The accessibility grant is a running window manager here; screen recording is no grant at all.
    EXPECT_EQ(stateOf("Window Manager (EWMH)"), "Not Running");
    EXPECT_EQ(stateOf("Screen Recording"), "Not Needed");
    EXPECT_FALSE(named<QPushButton>(page, "Screen Recording Help")) << "nothing to grant, nothing to open";
    EXPECT_TRUE(showsLabel(
        page, "If window switching stops working, check here that the window manager is still running."));

    // Without privacy panes, as on X11, the help button says what gives the grant.
    desktop->workspace().setHasPrivacyPanes(false);
    named<QPushButton>(page, "Window Manager Help")->click();
    auto* help = page->findChild<QLabel*>("permissionHelp");
    ASSERT_TRUE(help);
    EXPECT_FALSE(help->isHidden());
    EXPECT_TRUE(help->text().contains("window manager that follows the EWMH conventions must be running"))
        << help->text().toStdString();
    EXPECT_TRUE(desktop->workspace().openedURLs().empty());
    settle();
    korvane::testing::saveScreenshot(*page, "settings-general-permission-help.png");

    desktop->accessibility().setProcessTrusted(true);
    auto console = std::make_shared<std::vector<std::string>>();
    struct Capture : platform::ConsoleSink {
        std::shared_ptr<std::vector<std::string>> lines;
        void writeLine(const std::string& line) override { lines->push_back(line); }
    };
    auto sink = std::make_shared<Capture>();
    sink->lines = console;
    platform::setConsoleSink(sink);
    named<QPushButton>(page, "Check Permissions")->click();
    platform::setConsoleSink(nullptr);
    settle();
    EXPECT_EQ(stateOf("Window Manager (EWMH)"), "Running");
    EXPECT_EQ(*console, std::vector<std::string>{"[Settings] Permission check requested"});
}

TEST_F(SettingsPagesTest, keysWhileRecordingAreTakenForTheShortcutAndAfterItReachTheWindowAgain) {
    model->setSelectedTab(SettingsTab::hotkeys);
    show();
    QListWidget* sidebar = view().sidebar();
    EXPECT_EQ(sidebar->currentRow(), 1);
    EXPECT_EQ(recorder("push.left")->shownText(), "Ctrl+Alt+Q");
    EXPECT_EQ(recorder("focus.left")->shownText(), "Ctrl+Alt+Shift+Q");
    EXPECT_EQ(recorder("cycle.forward")->shownText(), "Alt+Tab");
    EXPECT_EQ(recorder("scene.update")->shownText(), "Record Shortcut");
    EXPECT_FALSE(recorder("scene.update")->clearButton()) << "nothing to clear";
    expectNoOtherDesktopsWords(view().hotkeysPage());
    expectNothingClipped(view().hotkeysPage());
    picture("settings-shortcuts-idle.png");

    recorder("push.left")->recordButton()->click();
    settle();
    EXPECT_EQ(model->recordingAction, "push.left");
    EXPECT_EQ(recorder("push.left")->shownText(), "Type shortcut...");
    EXPECT_FALSE(recorder("push.left")->clearButton());
    EXPECT_EQ(recorder("push.right")->shownText(), "Ctrl+Alt+W") << "only the recording row changes";
    picture("settings-shortcuts-recording.png");

    // Control+option+left typed on the recorder, which has the keyboard: taken for the shortcut, not a move
    // to the next control.
    QPushButton* button = recorder("push.left")->recordButton();
    EXPECT_TRUE(button->hasFocus());
    QTest::keyClick(button, Qt::Key_Left, Qt::ControlModifier | Qt::AltModifier);
    settle();
    EXPECT_FALSE(model->recordingAction);
    EXPECT_EQ(owned.bindings[3], (HotkeyConfig::HotkeyBinding{"push.left", "left", {"ctrl", "alt"}, true}));
    EXPECT_EQ(recorder("push.left")->shownText(), "Ctrl+Alt+Left");
    EXPECT_FALSE(view().keyFilter());
    settle();
    expectNothingClipped(view().hotkeysPage());
    picture("settings-shortcuts-recorded.png");

    // Recording again, Up alone is taken but refused: the row keeps its shortcut and says why under it,
    // until the next recording. Backspace alone, as the footer says, clears the shortcut rather than
    // becoming one.
    recorder("focus.left")->recordButton()->click();
    settle();
    QTest::keyClick(recorder("focus.left")->recordButton(), Qt::Key_Up);
    settle();
    EXPECT_EQ(sidebar->currentRow(), 1);
    EXPECT_EQ(recorder("focus.left")->shownText(), "Ctrl+Alt+Shift+Q");
    QLabel* refusal = view().hotkeysPage()->findChild<QLabel*>("refusal:focus.left");
    ASSERT_TRUE(refusal);
    EXPECT_TRUE(refusal->isVisible());
    EXPECT_EQ(refusal->text(),
              "Up alone would reach no program but Korvane: hold Ctrl, Alt or Super with it");
    expectNothingClipped(view().hotkeysPage());
    picture("settings-shortcuts-refused.png");
    recorder("focus.left")->recordButton()->click();
    settle();
    EXPECT_FALSE(refusal->isVisible());
    QTest::keyClick(recorder("focus.left")->recordButton(), Qt::Key_Backspace);
    settle();
    EXPECT_EQ(recorder("focus.left")->shownText(), "Record Shortcut");
    EXPECT_FALSE(owned.bindings[7].enabled);
    // The recording over, Up on the sidebar moves it to General.
    sidebar->setFocus();
    QTest::keyClick(sidebar, Qt::Key_Up);
    EXPECT_EQ(sidebar->currentRow(), 0);
    EXPECT_EQ(model->selectedTab, SettingsTab::general);
}

TEST_F(SettingsPagesTest, theKeypadPauseAndInsertAreRecordedByNameAndAKeyWithoutOneIsRefusedUnderItsRow) {
    model->setSelectedTab(SettingsTab::hotkeys);
    show();
    auto record = [&](const std::string& action, Qt::Key key, Qt::KeyboardModifiers modifiers) {
        recorder(action)->recordButton()->click();
        settle();
        QTest::keyClick(recorder(action)->recordButton(), key, modifiers);
        settle();
    };
    const auto ctrlAlt = Qt::ControlModifier | Qt::AltModifier;

    // The keypad's 1 with num lock off comes as End: still the keypad's 1, not the End key.
    record("push.left", Qt::Key_End, ctrlAlt | Qt::KeypadModifier);
    EXPECT_EQ(owned.bindings[3], (HotkeyConfig::HotkeyBinding{"push.left", "kp_1", {"ctrl", "alt"}, true}));
    EXPECT_EQ(recorder("push.left")->shownText(), "Ctrl+Alt+Keypad 1");
    record("push.right", Qt::Key_Pause, Qt::NoModifier);
    EXPECT_EQ(recorder("push.right")->shownText(), "Pause");
    // Held with Ctrl the key types Break, which Qt knows only by the X keysym it reports.
    recorder("push.right")->recordButton()->click();
    settle();
    QKeyEvent ctrlAltBreak(QEvent::KeyPress, 0, ctrlAlt, 0x7F, 0xFF6B, 0);
    QApplication::sendEvent(recorder("push.right")->recordButton(), &ctrlAltBreak);
    settle();
    EXPECT_EQ(owned.bindings[4], (HotkeyConfig::HotkeyBinding{"push.right", "pause", {"ctrl", "alt"}, true}));
    record("sceneSwitcher.toggle", Qt::Key_Insert, ctrlAlt);
    EXPECT_EQ(recorder("sceneSwitcher.toggle")->shownText(), "Ctrl+Alt+Insert");

    // A key no name stands for: the row keeps its shortcut and says why under it, whole.
    const HotkeyConfig before = owned;
    record("sceneSwitcher.toggle", Qt::Key_VolumeMute, ctrlAlt);
    EXPECT_EQ(owned, before);
    EXPECT_EQ(recorder("sceneSwitcher.toggle")->shownText(), "Ctrl+Alt+Insert");
    QLabel* refusal = view().hotkeysPage()->findChild<QLabel*>("refusal:sceneSwitcher.toggle");
    ASSERT_TRUE(refusal);
    EXPECT_TRUE(refusal->isVisible());
    EXPECT_EQ(refusal->text(),
              "Korvane has no name for this key, so it cannot keep it as a shortcut: choose another key");
    expectNothingClipped(view().hotkeysPage());
    picture("settings-shortcuts-unnamed-key-refused.png");
}

TEST_F(SettingsPagesTest, aKeyIsRecordedAsTheKeyPressedAndOneAnotherProgramHoldsIsSaidSoUnderItsRow) {
    model->setSelectedTab(SettingsTab::hotkeys);
    show();
    const auto ctrlAlt = Qt::ControlModifier | Qt::AltModifier;
    // The "1 &" key of a French keyboard types "&", which the US layout types with 7; the desktop names
    // the key pressed (its native key 10) as 1.
    desktop->hotKeys().nativeKeys[10] = 18;
    recorder("push.left")->recordButton()->click();
    settle();
    QKeyEvent ampersand(QEvent::KeyPress, Qt::Key_Ampersand, ctrlAlt, 10, '&', 0, "&");
    QApplication::sendEvent(recorder("push.left")->recordButton(), &ampersand);
    settle();
    EXPECT_EQ(owned.bindings[3], (HotkeyConfig::HotkeyBinding{"push.left", "1", {"ctrl", "alt"}, true}));
    EXPECT_EQ(recorder("push.left")->shownText(), "Ctrl+Alt+1");
    // A key the desktop does not name is read from what it types.
    recorder("push.right")->recordButton()->click();
    settle();
    QKeyEvent backslash(QEvent::KeyPress, Qt::Key_Backslash, ctrlAlt, 51, '\\', 0, "\\");
    QApplication::sendEvent(recorder("push.right")->recordButton(), &backslash);
    settle();
    EXPECT_EQ(recorder("push.right")->shownText(), "Ctrl+Alt+\\");

    // Alt+Tab is held by the window manager, two zone keys by another program, and no key types S now:
    // each row says so under it once the table is registered again.
    unheld = {{"cycle.forward", 48, platform::kHotKeyOption, platform::kEventHotKeyExistsErr},
              {"push.region.dynamic", 20, platform::kHotKeyControl | platform::kHotKeyOption,
               platform::kEventHotKeyExistsErr},
              {"push.region.dynamic", 23, platform::kHotKeyControl | platform::kHotKeyOption,
               platform::kEventHotKeyExistsErr},
              {"scene.save", 1, platform::kHotKeyControl | platform::kHotKeyOption,
               platform::kEventHotKeyInvalidErr}};
    recorder("scene.update")->recordButton()->click();
    settle();
    QTest::keyClick(recorder("scene.update")->recordButton(), Qt::Key_U, ctrlAlt);
    settle();
    auto note = [&](const std::string& action) -> QLabel* {
        QLabel* label = view().hotkeysPage()->findChild<QLabel*>(QString::fromStdString("refusal:" + action));
        return label && label->isVisible() ? label : nullptr;
    };
    ASSERT_TRUE(note("cycle.forward"));
    EXPECT_EQ(note("cycle.forward")->text().toStdString(),
              "Held by another program, so Korvane cannot act on it: record another combination");
    ASSERT_TRUE(note("push.region.dynamic"));
    EXPECT_EQ(note("push.region.dynamic")->text().toStdString(),
              "Held by another program (Ctrl+Alt+3, Ctrl+Alt+5), so Korvane cannot act on it: record another "
              "combination or choose other modifiers");
    ASSERT_TRUE(note("scene.save"));
    EXPECT_EQ(note("scene.save")->text().toStdString(),
              "No key of the keyboard types it in the layouts in use; it acts once a layout that has the key "
              "is in use");
    EXPECT_FALSE(note("scene.update"));
    EXPECT_FALSE(note("push.left"));
    expectNothingClipped(view().hotkeysPage());
    picture("settings-shortcuts-held-elsewhere.png");

    // Held again (another layout, the other program gone): the lines go at the next load.
    unheld.clear();
    model->loadSettings();
    settle();
    EXPECT_FALSE(note("cycle.forward"));
    EXPECT_FALSE(note("scene.save"));
}

// Ctrl+Alt+F5 reaches a program only as the release of XF86Switch_VT_5 (the server switches terminals at
// its press), Ctrl+Alt with the keypad's + as that of XF86Next_VMode, with its * as a whole XF86ClearGrab:
// each is refused with its reason under the row, the recording ended, the row's shortcut as it was. Any
// other key's release, such as the last one of a combination recorded, records nothing.
TEST_F(SettingsPagesTest, theXServersOwnKeysAreRefusedUnderTheRowAndEndTheRecording) {
    model->setSelectedTab(SettingsTab::hotkeys);
    show();
    const auto ctrlAlt = Qt::ControlModifier | Qt::AltModifier;
    const HotkeyConfig before = owned;
    struct Row {
        QEvent::Type type;
        int key;
        quint32 keysym;
        const char* combination;
    };
    const Row rows[] = {
        {QEvent::KeyRelease, 0, 0x1008FE05, "Ctrl+Alt+F5"},
        {QEvent::KeyRelease, 0, 0x1008FE0C, "Ctrl+Alt+F12"},
        {QEvent::KeyRelease, 0, 0x1008FE22, "Ctrl+Alt+Keypad +"},
        {QEvent::KeyPress, Qt::Key_ClearGrab, 0x1008FE21, "Ctrl+Alt+Keypad *"},
    };
    for (const auto& row : rows) {
        recorder("push.left")->recordButton()->click();
        settle();
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_A, ctrlAlt, 0x26, 'a', 0);
        QApplication::sendEvent(recorder("push.left")->recordButton(), &release);
        settle();
        ASSERT_EQ(model->recordingAction, "push.left") << row.combination;
        QKeyEvent serverKey(row.type, row.key, ctrlAlt, 0x47, row.keysym, 0);
        QApplication::sendEvent(recorder("push.left")->recordButton(), &serverKey);
        settle();
        EXPECT_FALSE(model->recordingAction) << row.combination;
        EXPECT_FALSE(view().keyFilter()) << row.combination;
        EXPECT_EQ(owned, before) << row.combination;
        EXPECT_EQ(recorder("push.left")->shownText(), "Ctrl+Alt+Q") << row.combination;
        QLabel* refusal = view().hotkeysPage()->findChild<QLabel*>("refusal:push.left");
        ASSERT_TRUE(refusal);
        EXPECT_TRUE(refusal->isVisible()) << row.combination;
        EXPECT_EQ(refusal->text().toStdString(),
                  std::string(row.combination) +
                      " is the X server's own key and reaches no program: choose another combination");
    }
    expectNothingClipped(view().hotkeysPage());
    picture("settings-shortcuts-server-key-refused.png");
}

TEST_F(SettingsPagesTest, movingTheRecordingToAnotherRowKeepsOneKeyFilterAndHidingTheWindowEndsIt) {
    model->setSelectedTab(SettingsTab::hotkeys);
    show();
    recorder("push.left")->recordButton()->click();
    settle();
    recorder("push.right")->recordButton()->click();
    settle();
    EXPECT_EQ(model->recordingAction, "push.right");
    EXPECT_EQ(keyFilters().size(), 1u);

    // Pressing the recording row again stops without a change.
    recorder("push.right")->recordButton()->click();
    settle();
    EXPECT_FALSE(model->recordingAction);
    EXPECT_TRUE(keyFilters().empty());
    EXPECT_EQ(owned, HotkeyConfig::defaults(0));

    // A close hides the window and ends the recording with it.
    recorder("push.right")->recordButton()->click();
    settle();
    controller->window()->close();
    settle();
    EXPECT_FALSE(model->recordingAction);
    EXPECT_TRUE(keyFilters().empty());

    // Clearing a row leaves "Record Shortcut"; "Reset to Defaults" brings every row back at once.
    show();
    recorder("push.right")->clearButton()->click();
    settle();
    EXPECT_EQ(recorder("push.right")->shownText(), "Record Shortcut");
    named<QPushButton>(view().hotkeysPage(), "Reset to Defaults")->click();
    settle();
    EXPECT_EQ(recorder("push.right")->shownText(), "Ctrl+Alt+W");
}

TEST_F(SettingsPagesTest, theWindowTornDownWhileAShortcutRecordsEndsTheRecordingAndGivesTheKeysBack) {
    // As at a quit: the window goes while "Type shortcut..." shows. Its teardown hides the recorder, which
    // ends the recording, while the page it would redraw is half gone.
    model->setSelectedTab(SettingsTab::hotkeys);
    show();
    recorder("push.left")->recordButton()->click();
    settle();
    ASSERT_TRUE(center->isSuspended());
    controller.reset();
    settle();
    EXPECT_FALSE(model->recordingAction);
    EXPECT_FALSE(center->isSuspended());
    EXPECT_EQ(owned, HotkeyConfig::defaults(0));
}

TEST_F(SettingsPagesTest, theDigitRowsTogglesRewriteItsModifiersUnderTheirCanonicalNames) {
    owned.bindings[2].modifiers = {"control", "option"};
    model->loadSettings();
    model->setSelectedTab(SettingsTab::hotkeys);
    show();
    auto toggleOf = [&](const QString& glyph) {
        QWidget* row = rowControl("push.region.dynamic");
        return row ? named<QToolButton>(row, glyph) : nullptr;
    };
    ASSERT_TRUE(toggleOf("Ctrl"));
    EXPECT_TRUE(toggleOf("Ctrl")->isChecked());
    EXPECT_TRUE(toggleOf("Alt")->isChecked());
    EXPECT_FALSE(toggleOf("Shift")->isChecked());
    EXPECT_FALSE(toggleOf("Super")->isChecked());
    toggleOf("Super")->click();
    settle();
    EXPECT_EQ(owned.bindings[2].key, "digits");
    EXPECT_EQ(owned.bindings[2].modifiers, (std::vector<std::string>{"control", "option", "cmd"}));
    toggleOf("Ctrl")->click();
    settle();
    EXPECT_EQ(owned.bindings[2].modifiers, (std::vector<std::string>{"option", "cmd"}));
    EXPECT_TRUE(toggleOf("Super")->isChecked());
    // The last of Ctrl, Alt and Super left stays on and cannot be switched off; Shift beside it is not
    // enough.
    toggleOf("Shift")->click();
    toggleOf("Alt")->click();
    settle();
    EXPECT_EQ(owned.bindings[2].modifiers, (std::vector<std::string>{"cmd", "shift"}));
    EXPECT_TRUE(toggleOf("Super")->isChecked());
    EXPECT_FALSE(toggleOf("Super")->isEnabled());
    EXPECT_TRUE(toggleOf("Shift")->isEnabled());
    picture("settings-shortcuts-last-digit-modifier.png");
}

TEST_F(SettingsPagesTest, addApplicationOpensThePickerAsASheetAndItsChoiceJoinsTheListOnce) {
    desktop->workspace().launch({.bundleID = "com.example.chat", .name = "Chat"});
    show();
    DragSnapBlacklistView* list = view().generalPage()->blacklistView();
    named<QPushButton>(list, "Add Application...")->click();
    settle();
    auto* sheet = dynamic_cast<AppPickerView*>(list->appPickerSheet());
    ASSERT_TRUE(sheet);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    EXPECT_EQ(sheet->parentWidget(), controller->window());
    korvane::testing::saveScreenshot(*sheet, "settings-add-application-sheet.png");

    // Typed and chosen with Return: added, the sheet gone, the selection empty again.
    QTest::keyClicks(sheet->searchField(), "Chat");
    QTest::keyClick(sheet->searchField(), Qt::Key_Return);
    settle();
    EXPECT_FALSE(list->appPickerSheet());
    EXPECT_EQ(model->dragSnapBlacklist,
              (std::vector<std::string>{"org.telegram.desktop", "telegram-desktop", "ru.keepcoder.Telegram",
                                        "com.example.chat"}));
    EXPECT_TRUE(list->selectedBundleID().empty());

    // The same application again keeps one entry; Escape closes the sheet without a choice.
    named<QPushButton>(list, "Add Application...")->click();
    settle();
    sheet = dynamic_cast<AppPickerView*>(list->appPickerSheet());
    ASSERT_TRUE(sheet);
    QTest::keyClicks(sheet->searchField(), "Chat");
    QTest::keyClick(sheet->searchField(), Qt::Key_Return);
    settle();
    EXPECT_EQ(model->dragSnapBlacklist.size(), 4u);
    named<QPushButton>(list, "Add Application...")->click();
    settle();
    ASSERT_TRUE(list->appPickerSheet());
    QTest::keyClick(dynamic_cast<AppPickerView*>(list->appPickerSheet())->searchField(), Qt::Key_Escape);
    settle();
    EXPECT_FALSE(list->appPickerSheet());
    EXPECT_EQ(model->dragSnapBlacklist.size(), 4u);
}

TEST_F(SettingsPagesTest, theKeyboardGoesFromTheSidebarThroughTheShortcutRowsInTheirOrderThenToTheButtons) {
    show();
    QListWidget* sidebar = view().sidebar();
    sidebar->setFocus();
    QTest::keyClick(sidebar, Qt::Key_Down);
    settle();
    ASSERT_EQ(model->selectedTab, SettingsTab::hotkeys);
    std::vector<QWidget*> expected = {recorder("cycle.forward")->recordButton(),
                                      recorder("cycle.forward")->clearButton()};
    for (QToolButton* toggle : rowControl("push.region.dynamic")->findChildren<QToolButton*>())
        expected.push_back(toggle);
    expected.push_back(recorder("push.left")->recordButton());
    ASSERT_EQ(expected.size(), 7u);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), expected[i])
            << "Tab " << i + 1 << ": "
            << (QApplication::focusWidget() ? QApplication::focusWidget()->metaObject()->className()
                                            : "nothing");
    }
    // After the last row, rebuilt by a reset too, come the two buttons under the rows.
    named<QPushButton>(view().hotkeysPage(), "Reset to Defaults")->click();
    settle();
    recorder("scene.update")->recordButton()->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), named<QPushButton>(view().hotkeysPage(), "Reset to Defaults"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), named<QPushButton>(view().hotkeysPage(), "Open Config File"));
}
