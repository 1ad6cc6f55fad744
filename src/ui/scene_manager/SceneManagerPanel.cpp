// The scene manager's content: three pages by the model's state, the form's sections built once and kept
// in step with the model through its observation, and the preset popover as a popup window.
#include "ui/scene_manager/SceneManagerPanel.h"

#include "layouts/BuiltinLayouts.h"
#include "ui/overlays/PopupPlacement.h"
#include "ui/overlays/SceneNameInWindow.h"
#include "ui/scene_manager/EventWatcher.h"
#include "ui/scene_manager/LayoutMiniPreviewView.h"
#include "ui/scene_manager/SceneManagerCardStrip.h"
#include "ui/scene_manager/SceneManagerViewModel.h"
#include "ui/scene_manager/SceneSaveSheetStyle.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace korvane {

namespace {

using savesheet::withAlpha;

// The most a scene's name takes of the "Delete Scene?" question, in the toolkit's pixels: with its
// symbol and margins the alert stays within the width it keeps to on a wide screen.
constexpr int kDeletedNameWidth = 360;

QLabel* sectionHeader(const char* text) {
    auto* label = new QLabel(text);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

// A display of the "Displays" section: its name, and "No Config" when the selected scene leaves it out.
class DisplayRow : public QAbstractButton {
  public:
    DisplayRow(std::string uuid, QString name, QWidget* parent)
        : QAbstractButton(parent), uuid_(std::move(uuid)) {
        setText(std::move(name));
        setFixedHeight(26);
        setCursor(Qt::PointingHandCursor);
    }
    const std::string& uuid() const { return uuid_; }
    void setState(bool selected, bool configured) {
        if (selected_ == selected && configured_ == configured) return;
        selected_ = selected;
        configured_ = configured;
        setAccessibleDescription(configured ? QString() : QString("No Config"));
        update();
    }
    bool configured() const { return configured_; }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QColor primary = palette().color(QPalette::WindowText);
        const QColor accent = palette().color(QPalette::Highlight);
        if (selected_) {
            p.setPen(Qt::NoPen);
            p.setBrush(withAlpha(accent, 0.12));
            p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);
        }
        // The display symbol: a screen on a stand.
        p.setPen(QPen(primary, 1.2));
        p.setBrush(Qt::NoBrush);
        const double cy = height() / 2.0;
        p.drawRoundedRect(QRectF(10, cy - 6, 14, 9), 1.5, 1.5);
        p.drawLine(QPointF(17, cy + 3), QPointF(17, cy + 5.5));
        p.drawLine(QPointF(14, cy + 6), QPointF(20, cy + 6));

        int right = width() - 10;
        if (!configured_) {
            QFont badge = font();
            badge.setPointSizeF(8);
            const QFontMetrics metrics(badge);
            const int w = metrics.horizontalAdvance("No Config") + 12, h = metrics.height() + 4;
            const QRectF capsule(right - w, cy - h / 2.0, w, h);
            p.setPen(Qt::NoPen);
            p.setBrush(withAlpha(primary, 0.12 * 0.55));
            p.drawRoundedRect(capsule, h / 2.0, h / 2.0);
            p.setFont(badge);
            p.setPen(withAlpha(primary, 0.55));
            p.drawText(capsule, Qt::AlignCenter, "No Config");
            right -= w + 8;
        }
        p.setFont(font());
        p.setPen(primary);
        const QRect nameRect(32, 0, right - 32, height());
        p.drawText(nameRect, Qt::AlignVCenter | Qt::AlignLeft,
                   fontMetrics().elidedText(text(), Qt::ElideRight, nameRect.width()));
    }

  private:
    std::string uuid_;
    bool selected_ = false;
    // Drawn at the first update either way.
    bool configured_ = true;
};

std::vector<ConfigZoneSet> fourPresets() {
    return {builtinFullscreenLayout(), builtinSplit6040Layout(), builtinSplit5050Layout(),
            builtinDailyLayout()};
}

} // namespace

QMessageBox* makeAlertBox(QWidget* parent, const SceneManagerAlert& alert) {
    auto* box = new QMessageBox(parent);
    box->setIcon(QMessageBox::Warning);
    box->setWindowTitle(QString::fromStdString(alert.messageText));
    // The texts carry scene names as typed, never read as markup.
    box->setTextFormat(Qt::PlainText);
    box->setText(QString::fromStdString(alert.messageText));
    box->setInformativeText(QString::fromStdString(alert.informativeText));
    if (auto* informative = box->findChild<QLabel*>("qt_msgbox_informativelabel"))
        informative->setTextFormat(Qt::PlainText);
    for (std::size_t i = 0; i < alert.buttons.size(); ++i) {
        const auto role = i == 0 ? QMessageBox::DestructiveRole : QMessageBox::RejectRole;
        QPushButton* button = box->addButton(QString::fromStdString(alert.buttons[i]), role);
        button->setProperty("response", 1000 + static_cast<int>(i));
        if (i + 1 == alert.buttons.size()) box->setEscapeButton(button);
    }
    return box;
}

int presentAlertModally(QWidget* parent, const SceneManagerAlert& alert) {
    QMessageBox* box = makeAlertBox(parent, alert);
    box->exec();
    const QAbstractButton* chosen = box->clickedButton();
    const int response = chosen ? chosen->property("response").toInt() : 0;
    box->deleteLater();
    return response;
}

SceneManagerPanel::SceneManagerPanel(platform::Screens& screens,
                                     std::shared_ptr<SceneManagerViewModel> viewModel,
                                     SceneManagerAlertPresenter presenter, QWidget* parent)
    : QWidget(parent), screens_(screens), viewModel_(std::move(viewModel)),
      presenter_(presenter ? std::move(presenter) : SceneManagerAlertPresenter(presentAlertModally)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    pages_ = new QStackedWidget(this);
    layout->addWidget(pages_);
    loadingPage_ = makeLoadingPage();
    emptyPage_ = makeEmptyPage();
    formPage_ = makeForm();
    pages_->addWidget(loadingPage_);
    pages_->addWidget(emptyPage_);
    pages_->addWidget(formPage_);

    popover_ = new QFrame(this, Qt::Popup);
    popover_->setObjectName("presetPopover");
    auto* popoverLayout = new QVBoxLayout(popover_);
    popoverLayout->setContentsMargins(0, 0, 0, 0);
    picker_ = new PresetPickerView(fourPresets(), popover_);
    popoverLayout->addWidget(picker_);
    popover_->adjustSize();
    std::weak_ptr<SceneManagerViewModel> weak = viewModel_;
    picker_->onSelect = [weak](const ConfigZoneSet& preset) {
        if (auto model = weak.lock()) model->bindPreset(preset);
    };
    // The popup goes whichever way it went: a click outside, Escape or a choice.
    popover_->installEventFilter(
        new EventWatcher(popover_, QEvent::Hide, EventWatcher::Fires::everyTime, [weak] {
            if (auto model = weak.lock()) model->setShowingPresetPicker(false);
        }));

    // The model outlives no window of its own, but the token ends with the panel either way.
    observation_ = viewModel_->subscribe([this](SceneManagerViewModel::Property property) {
        if (property == SceneManagerViewModel::Property::isRenaming && viewModel_->isRenaming()) {
            const WMScene* scene = viewModel_->selectedScene();
            renameField_->setText(scene ? QString::fromStdString(scene->name) : QString());
            renameField_->setFocus();
        }
        refresh();
    });
    refresh();
}

SceneManagerPanel::~SceneManagerPanel() = default;

QWidget* SceneManagerPanel::makeLoadingPage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->addStretch();
    auto* spinner = new QProgressBar;
    spinner->setRange(0, 0);
    spinner->setTextVisible(false);
    spinner->setFixedWidth(160);
    layout->addWidget(spinner, 0, Qt::AlignHCenter);
    auto* label = new QLabel("Loading scenes...");
    layout->addWidget(label, 0, Qt::AlignHCenter);
    layout->addStretch();
    return page;
}

QWidget* SceneManagerPanel::makeEmptyPage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->setSpacing(12);
    layout->addStretch();
    auto* headline = new QLabel("No Scenes");
    QFont font = headline->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() + 1);
    headline->setFont(font);
    layout->addWidget(headline, 0, Qt::AlignHCenter);
    auto* create = new QPushButton("Create Scene");
    create->setObjectName("createScene");
    create->setDefault(true);
    layout->addWidget(create, 0, Qt::AlignHCenter);
    layout->addStretch();
    std::weak_ptr<SceneManagerViewModel> weak = viewModel_;
    QObject::connect(create, &QPushButton::clicked, page, [weak] {
        if (auto model = weak.lock()) model->createEmptyScene();
    });
    return page;
}

QWidget* SceneManagerPanel::makeForm() {
    std::weak_ptr<SceneManagerViewModel> weak = viewModel_;
    auto* scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(20, 16, 20, 16);
    column->setSpacing(8);

    // Scenes.
    auto* header = new QHBoxLayout;
    header->addWidget(sectionHeader("Scenes"));
    header->addStretch();
    auto* hint = new QLabel("Click to select · Hover for rename / delete");
    QFont hintFont = hint->font();
    hintFont.setPointSizeF(8);
    hint->setFont(hintFont);
    hint->setStyleSheet("color: rgba(128, 128, 128, 160);");
    header->addWidget(hint, 0, Qt::AlignBaseline);
    column->addLayout(header);

    strip_ = new SceneManagerCardStrip;
    auto* stripScroll = new QScrollArea;
    stripScroll->setWidget(strip_);
    stripScroll->setWidgetResizable(false);
    stripScroll->setFrameShape(QFrame::NoFrame);
    stripScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    stripScroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    stripScroll->setFixedHeight(strip_->sizeHint().height() + 14);
    column->addWidget(stripScroll);
    strip_->onSelect = [weak](const std::string& id) {
        if (auto model = weak.lock()) model->selectScene(id);
    };
    strip_->onCreate = [weak] {
        if (auto model = weak.lock()) model->createEmptyScene();
    };
    strip_->onRename = [this](const std::string& id) { beginRename(id); };
    strip_->onDelete = [this](const std::string& id) { confirmDelete(id); };

    renameRow_ = new QWidget;
    auto* renameLayout = new QHBoxLayout(renameRow_);
    renameLayout->setContentsMargins(0, 0, 0, 0);
    renameLayout->setSpacing(8);
    renameField_ = new QLineEdit;
    renameField_->setPlaceholderText("Scene name");
    auto* save = new QPushButton("Save");
    save->setObjectName("renameSave");
    save->setDefault(true);
    auto* cancel = new QPushButton("Cancel");
    cancel->setObjectName("renameCancel");
    renameLayout->addWidget(renameField_, 1);
    renameLayout->addWidget(save);
    renameLayout->addWidget(cancel);
    column->addWidget(renameRow_);
    auto rename = [this, weak] {
        if (auto model = weak.lock()) model->renameSelectedScene(renameField_->text().toStdString());
    };
    QObject::connect(renameField_, &QLineEdit::returnPressed, renameRow_, rename);
    QObject::connect(save, &QPushButton::clicked, renameRow_, rename);
    QObject::connect(cancel, &QPushButton::clicked, renameRow_, [weak] {
        if (auto model = weak.lock()) model->setRenaming(false);
    });

    // Displays.
    column->addSpacing(8);
    column->addWidget(sectionHeader("Displays"));
    displayRows_ = new QVBoxLayout;
    displayRows_->setSpacing(2);
    column->addLayout(displayRows_);

    // Layout.
    column->addSpacing(8);
    column->addWidget(sectionHeader("Layout"));
    auto* frame = new QFrame;
    frame->setObjectName("layoutPreviewFrame");
    frame->setStyleSheet("QFrame#layoutPreviewFrame { border: 1px solid rgba(128, 128, 128, 40); "
                         "border-radius: 10px; }");
    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->setContentsMargins(4, 4, 4, 4);
    preview_ = new LayoutMiniPreviewView;
    preview_->setFixedHeight(160);
    frameLayout->addWidget(preview_);
    column->addWidget(frame);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(10);
    auto* editGrid = new QPushButton("Edit Grid");
    editGrid->setObjectName("editGrid");
    editGrid->setDefault(true);
    presetButton_ = new QPushButton(QString::fromUtf8("Start from Preset…"));
    presetButton_->setObjectName("startFromPreset");
    buttons->addWidget(editGrid);
    buttons->addWidget(presetButton_);
    buttons->addStretch();
    column->addLayout(buttons);
    column->addStretch();
    QObject::connect(editGrid, &QPushButton::clicked, content, [weak] {
        if (auto model = weak.lock()) model->openEditor();
    });
    QObject::connect(presetButton_, &QPushButton::clicked, content, [weak] {
        if (auto model = weak.lock()) model->setShowingPresetPicker(true);
    });

    scroll->setWidget(content);
    scroll->setMinimumSize(600, 440);
    return scroll;
}

QWidget* SceneManagerPanel::currentPage() const {
    return pages_->currentWidget();
}

QWidget* SceneManagerPanel::displayRow(const std::string& uuid) const {
    for (const auto& [id, row] : displayRowWidgets_)
        if (id == uuid) return row;
    return nullptr;
}

void SceneManagerPanel::refresh() {
    const SceneManagerViewModel& model = *viewModel_;
    QWidget* page = model.isLoading() ? loadingPage_ : model.scenes().empty() ? emptyPage_ : formPage_;
    if (pages_->currentWidget() != page) pages_->setCurrentWidget(page);
    if (page != formPage_) {
        syncPopover();
        return;
    }

    std::vector<SceneManagerCardStrip::Card> cards;
    cards.reserve(model.scenes().size());
    for (const auto& scene : model.scenes())
        cards.push_back({scene.id, scene.name, scene.hotkeySlot});
    strip_->setCards(std::move(cards), model.activeSceneID(), model.selectedSceneID());
    renameRow_->setVisible(model.isRenaming());
    refreshDisplays();
    preview_->setNode(model.selectedDisplayLayout());
    syncPopover();
}

void SceneManagerPanel::refreshDisplays() {
    const std::vector<SceneManagerDisplay> displays = viewModel_->availableDisplays();
    bool same = displays.size() == displayRowWidgets_.size();
    for (std::size_t i = 0; same && i < displays.size(); ++i)
        same = displays[i].uuid == displayRowWidgets_[i].first &&
               static_cast<QAbstractButton*>(displayRowWidgets_[i].second)->text().toStdString() ==
                   displays[i].name;
    if (!same) {
        for (auto& entry : displayRowWidgets_)
            delete entry.second;
        displayRowWidgets_.clear();
        std::weak_ptr<SceneManagerViewModel> weak = viewModel_;
        for (const auto& display : displays) {
            auto* row = new DisplayRow(display.uuid, QString::fromStdString(display.name), formPage_);
            row->setObjectName(QString::fromStdString("display:" + display.uuid));
            displayRows_->addWidget(row);
            displayRowWidgets_.emplace_back(display.uuid, row);
            const std::string uuid = display.uuid;
            QObject::connect(row, &QAbstractButton::clicked, row, [weak, row, uuid] {
                auto model = weak.lock();
                if (!model) return;
                // Chosen as shown: a display shown without a layout opens the presets at once.
                const bool showedUnconfigured = !row->configured();
                if (model->selectDisplay(uuid) && showedUnconfigured) model->setShowingPresetPicker(true);
            });
        }
    }
    for (auto& [uuid, widget] : displayRowWidgets_)
        static_cast<DisplayRow*>(widget)->setState(uuid == viewModel_->selectedDisplayUUID(),
                                                   viewModel_->isDisplayConfigured(uuid));
}

void SceneManagerPanel::syncPopover() {
    const bool wanted =
        viewModel_->showingPresetPicker() && pages_->currentWidget() == formPage_ && isVisible();
    if (wanted == popover_->isVisible()) return;
    if (!wanted) {
        popover_->hide();
        return;
    }
    // Below the button that opens it, or above it where the screen has no room below: wholly on the
    // screen either way, where every preset can be clicked.
    popover_->adjustSize();
    const QRect button(presetButton_->mapToGlobal(QPoint(0, 0)), presetButton_->size());
    popover_->setGeometry(popupFrame(screens_, button, popover_->size(), 4));
    popover_->show();
}

void SceneManagerPanel::beginRename(std::string sceneID) {
    viewModel_->selectScene(sceneID);
    if (viewModel_->selectedScene()) viewModel_->setRenaming(true);
}

void SceneManagerPanel::confirmDelete(std::string sceneID) {
    std::string name;
    for (const auto& scene : viewModel_->scenes())
        if (scene.id == sceneID) name = scene.name;
    SceneManagerAlert alert;
    alert.messageText = "Delete Scene?";
    // The question wraps only between words, and the name with its quotes and question mark is one: a
    // long one is cut in its middle to what the alert shows within its screen, the question's end after it.
    const int screenWidth = window()->screen() ? window()->screen()->availableGeometry().width() : 0;
    const int nameWidth = std::clamp(screenWidth / 2 - 140, 120, kDeletedNameWidth);
    alert.informativeText = "Delete \"" +
                            sceneNameInText(name, QApplication::font("QMessageBox"), nameWidth) +
                            "\"? This action cannot be undone.";
    alert.buttons = {"Delete", "Cancel"};
    // The alert runs modally, and the window may close meanwhile: after it, only what is held here is
    // used, and the model only while it is still there.
    std::weak_ptr<SceneManagerViewModel> weak = viewModel_;
    const SceneManagerAlertPresenter presenter = presenter_;
    const int response = presenter(window(), alert);
    auto model = weak.lock();
    if (!model || response != 1000) return;
    model->selectScene(sceneID);
    model->deleteSelectedScene();
}

} // namespace korvane
