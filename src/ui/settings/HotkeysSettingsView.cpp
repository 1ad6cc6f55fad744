// The shortcuts page and its rows.
#include "ui/settings/HotkeysSettingsView.h"

#include "platform/NotificationCenter.h"

#include "ui/settings/SettingsForm.h"
#include "ui/settings/SettingsViewModel.h"
#include "ui/settings/ShortcutRecorderButton.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace korvane {

HotkeysSettingsView::HotkeysSettingsView(SettingsViewModel& model, QWidget* parent)
    : QWidget(parent), model_(model) {
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(20, 20, 20, 20);
    auto* shortcuts = addSettingsSection(
        page, "Shortcuts", "Click a shortcut button to record. Press Escape to cancel, Delete to clear.");
    rows_ = new QGridLayout;
    rows_->setVerticalSpacing(4);
    rows_->setColumnStretch(0, 1);
    shortcuts->addLayout(rows_);

    auto* management = addSettingsSection(page, "Management");
    auto* buttons = new QHBoxLayout;
    auto* reset = new QPushButton("Reset to Defaults");
    auto* open = new QPushButton("Open Config File");
    buttons->addWidget(reset);
    buttons->addWidget(open);
    buttons->addStretch(1);
    management->addLayout(buttons);
    // Why the file could not be shown, under the buttons; out of sight otherwise.
    openFailure_ = makeCaption(QString());
    openFailure_->setObjectName("openConfigFailure");
    openFailure_->hide();
    management->addWidget(openFailure_);
    reset_ = reset;
    open_ = open;
    connect(reset, &QPushButton::clicked, this, [this] { model_.resetHotkeys(); });
    connect(open, &QPushButton::clicked, this, [this] { model_.openHotkeyConfig(); });
    page->addStretch(1);

    QPointer<HotkeysSettingsView> guard(this);
    observation_ = model_.observeChanges([guard] {
        if (guard && guard->isVisible()) guard->refresh();
    });
    rebuild();
}

HotkeysSettingsView::~HotkeysSettingsView() = default;

void HotkeysSettingsView::refresh() {
    showRefusal();
    openFailure_->setText(QString::fromStdString(model_.openConfigFailure.value_or("")));
    openFailure_->setVisible(model_.openConfigFailure.has_value());
    if (model_.hotkeyBindings == shownRows_ && model_.recordingAction == shownRecording_) return;
    auto sameRow = [](const HotkeyBindingViewModel& a, const HotkeyBindingViewModel& b) {
        return a.action == b.action && a.isDynamic == b.isDynamic;
    };
    if (!std::equal(model_.hotkeyBindings.begin(), model_.hotkeyBindings.end(), shownRows_.begin(),
                    shownRows_.end(), sameRow)) {
        rebuild();
        giveRecorderTheKeyboard();
        return;
    }
    shownRows_ = model_.hotkeyBindings;
    shownRecording_ = model_.recordingAction;
    for (std::size_t i = 0; i < shownRows_.size(); ++i) {
        QWidget* control = rowWidgets_[2 * i + 1];
        const auto& binding = shownRows_[i];
        if (binding.isDynamic)
            static_cast<DynamicHotkeyView*>(control)->setBinding(binding);
        else
            static_cast<ShortcutRecorderButton*>(control)->setState(
                QString::fromStdString(SettingsViewModel::displayText(binding)),
                model_.recordingAction == binding.action);
    }
    giveRecorderTheKeyboard();
}

void HotkeysSettingsView::showRefusal() {
    if (notesShown_ && model_.refusedShortcut == shownRefusal_ && model_.unheldShortcuts == shownUnheld_)
        return;
    notesShown_ = true;
    shownRefusal_ = model_.refusedShortcut;
    shownUnheld_ = model_.unheldShortcuts;
    for (std::size_t i = 0; i < notes_.size(); ++i) {
        // A combination just refused says why before the one stored says it is not held.
        std::optional<std::string> line;
        if (shownRefusal_ && shownRefusal_->action == shownRows_[i].action)
            line = shownRefusal_->reason;
        else if (auto it = shownUnheld_.find(shownRows_[i].action); it != shownUnheld_.end())
            line = it->second;
        notes_[i]->setText(line ? QString::fromStdString(*line) : QString());
        notes_[i]->setVisible(line.has_value());
    }
}

void HotkeysSettingsView::giveRecorderTheKeyboard() {
    // The keys of a recording are typed on its button: one started without a click there (from the model)
    // takes the keyboard too.
    if (QPushButton* button = recordingButton(); button && button->isVisible() && !button->hasFocus())
        button->setFocus(Qt::OtherFocusReason);
}

QPushButton* HotkeysSettingsView::recordingButton() const {
    for (QWidget* widget : rowWidgets_)
        if (auto* recorder = dynamic_cast<ShortcutRecorderButton*>(widget);
            recorder && recorder->isRecording())
            return recorder->recordButton();
    return nullptr;
}

void HotkeysSettingsView::rebuild() {
    std::vector<QWidget*> old;
    old.swap(rowWidgets_);
    old.insert(old.end(), notes_.begin(), notes_.end());
    notes_.clear();
    for (QWidget* widget : old)
        rows_->removeWidget(widget);
    shownRows_ = model_.hotkeyBindings;
    shownRecording_ = model_.recordingAction;
    int line = 0;
    for (const auto& binding : shownRows_) {
        auto* title = new QLabel(QString::fromStdString(binding.displayName));
        QWidget* control = nullptr;
        if (binding.isDynamic) {
            control = new DynamicHotkeyView(binding, model_);
        } else {
            const std::string action = binding.action;
            const bool recording = model_.recordingAction == action;
            // The model outlives the page; the control's last events may come while the page is torn down.
            SettingsViewModel& model = model_;
            control = new ShortcutRecorderButton(
                QString::fromStdString(SettingsViewModel::displayText(binding)), recording,
                [&model, action] {
                    if (model.recordingAction == action)
                        model.stopRecording();
                    else
                        model.startRecording(action);
                },
                [&model, action] { model.clearBinding(action); },
                [&model, action] {
                    if (model.recordingAction == action) model.stopRecording();
                });
        }
        control->setObjectName(QString::fromStdString("shortcut:" + binding.action));
        rows_->addWidget(title, line, 0);
        rows_->addWidget(control, line, 1, Qt::AlignRight);
        rowWidgets_.push_back(title);
        rowWidgets_.push_back(control);
        // Why a combination typed for the row was refused, under it; out of sight otherwise.
        QLabel* note = makeCaption(QString());
        note->setObjectName(QString::fromStdString("refusal:" + binding.action));
        note->hide();
        rows_->addWidget(note, line + 1, 0, 1, 2);
        notes_.push_back(note);
        line += 2;
    }
    notesShown_ = false;
    showRefusal();
    orderKeyboard();
    // Hidden once the new rows show: a recorder that records ends its recording as it hides, and the
    // model's notice finds the page whole. Deleted later: the control that asked for the change may be
    // one of them.
    for (QWidget* widget : old) {
        widget->hide();
        widget->deleteLater();
    }
}

void HotkeysSettingsView::orderKeyboard() {
    // The keyboard goes through the rows from the top and then to the buttons below them, as they show;
    // rows made anew would otherwise come after the buttons made once. Done again once the page is in its
    // window: taking the page into the window reorders what was chained before.
    QWidget* previous = nullptr;
    auto chain = [&previous](QWidget* next) {
        if (previous) QWidget::setTabOrder(previous, next);
        previous = next;
    };
    for (QWidget* widget : rowWidgets_)
        for (QWidget* child : widget->findChildren<QWidget*>())
            if (child->focusPolicy() & Qt::TabFocus) chain(child);
    chain(reset_);
    chain(open_);
}

void HotkeysSettingsView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    refresh();
    orderKeyboard();
}

} // namespace korvane
