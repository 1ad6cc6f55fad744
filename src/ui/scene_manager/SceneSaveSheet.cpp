// The "Save Scene" sheet. It draws the model after each of its own edits and each operation it calls;
// the model tells it only when a save starts and ends, the one change it makes on its own.
#include "ui/scene_manager/SceneSaveSheet.h"

#include "core/JSONFields.h"
#include "layouts/ConfigZoneSet.h"
#include "layouts/LayoutTemplateResolver.h"
#include "platform/NotificationCenter.h"
#include "platform/TextTrim.h"
#include "ui/scene_editor/ZoneCanvasPlacement.h"
#include "ui/scene_manager/SceneSaveSheetStyle.h"
#include "ui/scene_manager/SceneSaveViewModel.h"
#include "ui/scene_manager/ZoneCanvas.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QShowEvent>
#include <QVBoxLayout>

#include <algorithm>

namespace korvane {

using namespace savesheet;

namespace {

constexpr int kPadding = 16;
constexpr int kMiniatureWidth = 80;
constexpr int kMiniatureHeight = 48;
constexpr int kChipPadding = 3;
const char* const kLayoutsKept = "Windows on several displays: each display keeps its own layout";

// The widget may be what the user just clicked in: it goes on a later turn of the loop.
void discard(QWidget* widget) {
    widget->hide();
    widget->setParent(nullptr);
    widget->deleteLater();
}

QFrame* divider(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFixedHeight(1);
    line->setStyleSheet("background: rgba(0, 0, 0, 30); border: none;");
    return line;
}

QLabel* label(const QString& text, const QFont& font, const QColor& color, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setFont(font);
    l->setStyleSheet(QString("color: rgba(%1, %2, %3, %4);")
                         .arg(color.red())
                         .arg(color.green())
                         .arg(color.blue())
                         .arg(color.alpha()));
    return l;
}

// The empty state: the canvas area when there is no layout to arrange the windows by.
class EmptyState : public QWidget {
  public:
    explicit EmptyState(QWidget* parent) : QWidget(parent) {
        setObjectName("emptyState");
        auto* column = new QVBoxLayout(this);
        column->setSpacing(8);
        column->addStretch(1);
        auto* symbol = new QWidget(this);
        symbol->setFixedSize(40, 32);
        symbol_ = symbol;
        column->addWidget(symbol, 0, Qt::AlignHCenter);
        column->addWidget(label("No layout detected", captionFont(), kSecondaryText, this), 0,
                          Qt::AlignHCenter);
        column->addWidget(
            label("Select a layout above to arrange windows", secondCaptionFont(), kTertiaryText, this), 0,
            Qt::AlignHCenter);
        column->addStretch(1);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(withAlpha(QColor(128, 128, 128), 0.2), 1));
        painter.setBrush(kControlBackground);
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);
        drawThreeRectangles(painter, QRectF(symbol_->geometry()), QColor(0, 0, 0, 60));
    }

  private:
    QWidget* symbol_ = nullptr;
};

} // namespace

// -- Layout chips ------------------------------------------------------------------------------------------

LayoutChip::LayoutChip(std::optional<std::string> layoutID, const QString& name,
                       std::vector<ZoneListEntry> zones, QWidget* parent)
    : QAbstractButton(parent), layoutID_(std::move(layoutID)), zones_(std::move(zones)) {
    setText(name);
    setAccessibleName(name);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(sizeHint());
}

void LayoutChip::setSelected(bool selected) {
    if (selected_ == selected) return;
    selected_ = selected;
    update();
}

QSize LayoutChip::sizeHint() const {
    const int caption = QFontMetrics(secondCaptionFont()).horizontalAdvance(text());
    return QSize(std::max(kMiniatureWidth, std::min(caption, 120)) + 2 * kChipPadding,
                 kMiniatureHeight + 4 + 13 + 2 * kChipPadding);
}

void LayoutChip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled()) painter.setOpacity(0.45);
    const QRectF whole = QRectF(rect()).adjusted(1, 1, -1, -1);
    if (selected_) {
        painter.setPen(QPen(kAccent, 2));
        painter.setBrush(withAlpha(kAccent, 0.12));
        painter.drawRoundedRect(whole, 6, 6);
    }
    const Rect mini{(width() - kMiniatureWidth) / 2.0, static_cast<double>(kChipPadding), kMiniatureWidth,
                    kMiniatureHeight};
    const QRectF miniature(mini.minX(), mini.minY(), mini.width(), mini.height());
    painter.setPen(Qt::NoPen);
    painter.setBrush(withAlpha(QColor(128, 128, 128), 0.12));
    painter.drawRoundedRect(miniature, 4, 4);
    if (zones_.empty()) {
        painter.setPen(QPen(withAlpha(QColor(128, 128, 128), 0.5), 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(miniature.adjusted(4, 4, -4, -4), 2, 2);
    } else {
        painter.setPen(Qt::NoPen);
        painter.setBrush(selected_ ? kAccent : withAlpha(QColor(90, 90, 100), 0.6));
        for (const auto& zone : zones_) {
            const Rect at = zoneCanvasPlacement(mini, 3, zone.frame);
            // Each zone a point smaller than its place, so neighbours stay apart.
            painter.drawRoundedRect(
                QRectF(at.minX(), at.minY(), std::max(0.0, at.width() - 1), std::max(0.0, at.height() - 1)),
                2, 2);
        }
    }
    painter.setFont(secondCaptionFont());
    painter.setPen(selected_ ? QColor(0, 0, 0, 220) : kSecondaryText);
    const QRectF caption(kChipPadding, miniature.bottom() + 4, width() - 2 * kChipPadding, 13);
    painter.drawText(
        caption, Qt::AlignHCenter | Qt::AlignTop,
        QFontMetrics(painter.font()).elidedText(text(), Qt::ElideRight, static_cast<int>(caption.width())));
}

// -- The sheet ------------------------------------------------------------------------------------------

SceneSaveSheet::SceneSaveSheet(std::shared_ptr<SceneSaveViewModel> viewModel, QWidget* parent)
    : QWidget(parent), viewModel_(std::move(viewModel)) {
    setFixedSize(kWidth, kHeight);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, kWindowBackground);
    setPalette(palette);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* header = new QWidget(this);
    auto* headerRow = new QHBoxLayout(header);
    headerRow->setSpacing(16);
    headerRow->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    headerRow->addWidget(label("Save Scene", secondTitleFont(), QColor(0, 0, 0, 230), header));
    nameField_ = new QLineEdit(header);
    nameField_->setObjectName("sceneName");
    nameField_->setPlaceholderText("Scene Name");
    nameField_->installEventFilter(this);
    headerRow->addWidget(nameField_, 1);
    column->addWidget(header);
    column->addWidget(divider(this));

    buildChips();
    column->addWidget(chipRow_);

    auto* area = new QWidget(this);
    canvasArea_ = new QVBoxLayout(area);
    canvasArea_->setContentsMargins(kPadding, 0, kPadding, 8);
    canvasArea_->setSpacing(0);
    emptyState_ = new EmptyState(area);
    canvasArea_->addWidget(emptyState_);
    column->addWidget(area, 1);

    column->addWidget(divider(this));
    auto* footer = new QWidget(this);
    auto* footerColumn = new QVBoxLayout(footer);
    footerColumn->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    footerColumn->setSpacing(8);
    // Above the buttons that failed: a save refused wrote nothing, and this says why.
    saveFailureLine_ = label("", systemFont(12), kFailureText, footer);
    saveFailureLine_->setObjectName("saveFailure");
    saveFailureLine_->setTextFormat(Qt::PlainText);
    saveFailureLine_->setWordWrap(true);
    saveFailureLine_->hide();
    footerColumn->addWidget(saveFailureLine_);
    auto* footerRow = new QHBoxLayout;
    footerRow->setSpacing(16);
    footerRow->setContentsMargins(0, 0, 0, 0);
    footerColumn->addLayout(footerRow);
    countLabel_ = label("", captionFont(), kSecondaryText, footer);
    countLabel_->setObjectName("count");
    footerRow->addWidget(countLabel_);
    footerRow->addStretch(1);
    cancelButton_ = new QPushButton("Cancel", footer);
    saveButton_ = new QPushButton("Save Scene", footer);
    saveButton_->setDefault(true);
    saveButton_->setMinimumHeight(30);
    footerRow->addWidget(cancelButton_);
    footerRow->addWidget(saveButton_);
    column->addWidget(footer);

    QObject::connect(nameField_, &QLineEdit::textEdited, this, [this](const QString& text) {
        viewModel_->sceneName = text.toStdString();
        reloadFooter();
    });
    QObject::connect(cancelButton_, &QPushButton::clicked, this, [this] { cancel(); });
    QObject::connect(saveButton_, &QPushButton::clicked, this, [this] { save(); });
    savingObservation_ = viewModel_->savingChanged.subscribe([this] { reloadFooter(); });

    reload();
    nameField_->setFocus();
}

SceneSaveSheet::~SceneSaveSheet() = default;

void SceneSaveSheet::buildChips() {
    chipRow_ = new QWidget(this);
    chipRow_->setObjectName("layoutChips");
    auto* frame = new QVBoxLayout(chipRow_);
    frame->setContentsMargins(kPadding, 12, kPadding, 4);
    frame->setSpacing(4);
    auto* scroll = new QScrollArea(chipRow_);
    // A click on a chip leaves the keyboard in the name field, where Return saves under the name typed.
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidgetResizable(false);
    scroll->viewport()->setAutoFillBackground(false);
    frame->addWidget(scroll);

    auto* row = new QWidget();
    row->setAutoFillBackground(false);
    auto* layout = new QHBoxLayout(row);
    layout->setSpacing(10);
    layout->setContentsMargins(2, 2, 2, 2);
    auto add = [&](LayoutChip* chip) {
        layout->addWidget(chip);
        chips_.push_back(chip);
        QObject::connect(chip, &QAbstractButton::clicked, this,
                         [this, id = chip->layoutID()] { chooseLayout(id); });
    };
    add(new LayoutChip(std::nullopt, "Current", {}, row));
    // The chips are the layouts the application offers when the sheet opens; a resolver gone later hides
    // the row (see reload()).
    if (auto resolver = viewModel_->layoutTemplateResolver.lock())
        for (const auto& layout : resolver->builtinLayoutTemplates())
            add(new LayoutChip(layout.id, QString::fromStdString(layout.name), zoneList(layout), row));
    row->adjustSize();
    scroll->setWidget(row);
    scroll->setFixedHeight(row->sizeHint().height());
    layoutsKeptLine_ = label(kLayoutsKept, secondCaptionFont(), kSecondaryText, chipRow_);
    frame->addWidget(layoutsKeptLine_);
}

void SceneSaveSheet::setDropTargetZoneID(std::optional<std::int64_t> zoneID) {
    if (dropTargetZoneID_ == zoneID) return;
    const auto before = dropTargetZoneID_;
    dropTargetZoneID_ = zoneID;
    if (!canvas_) return;
    for (const auto& changed : {before, zoneID})
        if (changed)
            if (ZoneCell* cell = canvas_->cell(*changed)) cell->update();
}

void SceneSaveSheet::setEntryIncluded(const std::string& id, bool included) {
    auto& entries = viewModel_->windowEntries;
    auto entry = std::find_if(entries.begin(), entries.end(), [&](const auto& e) { return e.id == id; });
    if (entry == entries.end()) return;
    entry->included = included;
    viewModel_->recomputeZoneAssignments();
    reload();
}

bool SceneSaveSheet::acceptsDrop(const QString& text, std::int64_t zoneID) const {
    // Entries are made with upper-case UUIDs; a dragged id may come back in either case.
    const auto id = jsonfields::canonicalUUID(text.toStdString());
    return id && viewModel_->canMoveEntry(*id, zoneID);
}

bool SceneSaveSheet::dropEntry(const QString& text, std::int64_t zoneID) {
    setDropTargetZoneID(std::nullopt);
    const auto id = jsonfields::canonicalUUID(text.toStdString());
    // The dropped zone stands: no assignment is computed again after it.
    if (!id || !viewModel_->moveEntry(*id, zoneID)) return false;
    reload();
    return true;
}

void SceneSaveSheet::chooseLayout(const std::optional<std::string>& layoutID) {
    // A layout chosen for windows on several displays would not be stored.
    if (viewModel_->hasMultipleDisplays()) return;
    viewModel_->layoutIDOverride = layoutID;
    if (layoutID)
        viewModel_->recomputeZoneAssignments();
    else
        viewModel_->autoAssignZones();
    reload();
}

void SceneSaveSheet::removeManualApp(const std::string& id, std::int64_t zoneID) {
    viewModel_->removeManualApp(id, zoneID);
    reload();
}

bool SceneSaveSheet::canSave() const {
    return !trimmingWhitespaceAndNewlines(viewModel_->sceneName).empty() && !viewModel_->isSaving() &&
           viewModel_->currentZoneSet().has_value();
}

void SceneSaveSheet::save() {
    if (!canSave()) return;
    // A successful save ends with the owner closing the window, which may take this sheet with it.
    QPointer<SceneSaveSheet> self(this);
    const auto model = viewModel_;
    model->save();
    if (self) self->reload();
}

void SceneSaveSheet::cancel() {
    if (auto dismiss = viewModel_->onDismiss) dismiss();
}

void SceneSaveSheet::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Escape:
        cancel();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        save();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

bool SceneSaveSheet::eventFilter(QObject* watched, QEvent* event) {
    if (watched != nameField_ || event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    if (!(key->modifiers() & (Qt::MetaModifier | Qt::ControlModifier | Qt::AltModifier))) return false;
    // The field's editing keys that carry a letter act as ever (Ctrl+A selects all, Ctrl+V pastes).
    for (const auto editing : {QKeySequence::Undo, QKeySequence::Redo, QKeySequence::Cut, QKeySequence::Copy,
                               QKeySequence::Paste, QKeySequence::SelectAll, QKeySequence::Deselect,
                               QKeySequence::DeleteEndOfLine, QKeySequence::DeleteCompleteLine})
        if (key->matches(editing)) return false;
    // Keys that would add nothing (arrows, Backspace, the control characters Ctrl gives letters on the
    // X server) go on to the field; a letter, digit or sign is kept out. AltGr is no Alt here: the
    // characters it types on many keyboards still reach the name.
    const QString text = key->text();
    return !text.isEmpty() && text.front().isPrint();
}

void SceneSaveSheet::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous()) {
        reload();
        // The name offered is a suggestion: the first letters typed replace it, as in any name field a
        // window opens on.
        nameField_->selectAll();
    }
}

void SceneSaveSheet::reload() {
    const QString name = QString::fromStdString(viewModel_->sceneName);
    if (nameField_->text() != name) nameField_->setText(name);
    chipRow_->setVisible(!viewModel_->layoutTemplateResolver.expired());
    // A layout is chosen for the windows of one display; with windows on several each keeps its own,
    // and "Current" shows what applies while the choice made for one display waits aside.
    const bool several = viewModel_->hasMultipleDisplays();
    for (LayoutChip* chip : chips_) {
        chip->setEnabled(!several);
        chip->setSelected(several ? !chip->layoutID() : chip->layoutID() == viewModel_->layoutIDOverride);
    }
    layoutsKeptLine_->setVisible(several);
    reloadCanvasArea();
    reloadFooter();
}

void SceneSaveSheet::reloadCanvasArea() {
    const auto layout = viewModel_->currentZoneSet();
    std::vector<ZoneListEntry> zones = layout ? zoneList(*layout) : std::vector<ZoneListEntry>{};
    if (zones.empty()) {
        if (canvas_) {
            discard(canvas_);
            canvas_ = nullptr;
        }
        emptyState_->show();
        return;
    }
    emptyState_->hide();
    if (canvas_ && canvas_->zones() == zones) {
        canvas_->reload();
        return;
    }
    if (canvas_) discard(canvas_);
    canvas_ = new ZoneCanvas(*this, std::move(zones), emptyState_->parentWidget());
    canvasArea_->addWidget(canvas_);
    canvas_->show();
}

void SceneSaveSheet::reloadFooter() {
    const auto& entries = viewModel_->windowEntries;
    const auto included =
        std::count_if(entries.begin(), entries.end(), [](const auto& e) { return e.included; });
    countLabel_->setText(QString("%1 of %2 windows").arg(included).arg(entries.size()));
    saveButton_->setEnabled(canSave());
    const auto& failure = viewModel_->saveFailure();
    saveFailureLine_->setText(failure ? QString::fromStdString(*failure) : QString());
    saveFailureLine_->setVisible(failure.has_value());
}

} // namespace korvane
