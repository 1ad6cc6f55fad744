// The scene canvas's arrangement in its two modes, and which model operation every control calls.
#include "ui/scene_editor/SceneGeometryCanvasView.h"

#include "input/KeyCodes.h"
#include "layouts/LayoutTreeEditorModel.h"
#include "platform/NotificationCenter.h"
#include "platform/Platform.h"
#include "ui/scene_editor/CanvasMouseTracker.h"
#include "ui/scene_editor/SceneCanvasDividerHandles.h"
#include "ui/scene_editor/SceneCanvasPlates.h"
#include "ui/scene_editor/SceneCanvasSaveBar.h"
#include "ui/scene_editor/SceneCanvasSplitHandle.h"
#include "ui/scene_editor/SceneGeometryCanvasModel.h"
#include "ui/scene_editor/SceneZoneCanvasLayout.h"
#include "ui/scene_editor/ZoneCanvasPlacement.h"

#include <QCoreApplication>
#include <QDrag>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace korvane {

namespace {

constexpr const char* kPreviewHint = "Click a zone to confirm split \xC2\xB7 ESC to cancel";

Rect canvasRect(const SceneGeometryCanvasModel& model) {
    return Rect{0, 0, model.canvasSize().width, model.canvasSize().height};
}

// The split preview shows while a split is being placed on geometry the canvas may edit.
bool previewActive(const SceneGeometryCanvasModel& model) {
    return model.splitPreviewMode() && !model.currentGeometrySource().isTemplate();
}

// A one-pixel line just inside the rectangle's edge.
void hairlineFrame(QPainter& painter, const QRect& r, const QColor& colour) {
    if (r.width() < 1 || r.height() < 1) return;
    painter.fillRect(r.left(), r.top(), r.width(), 1, colour);
    if (r.height() > 1) painter.fillRect(r.left(), r.bottom(), r.width(), 1, colour);
    if (r.height() > 2) {
        painter.fillRect(r.left(), r.top() + 1, 1, r.height() - 2, colour);
        if (r.width() > 1) painter.fillRect(r.right(), r.top() + 1, 1, r.height() - 2, colour);
    }
}

// Reset, in either arrangement: back to the scene's stored state, and a word that it happened.
void resetToScene(SceneGeometryCanvasModel& model) {
    model.resetFromScene();
    model.showHint("Reset");
}

// Puts `widgets`, children of one parent, at the top of its stacking order, the last one on top. Left as
// they are when they already stand so: a raise repaints the widget although nothing of it changed, and on
// the overlay every refresh would send a frame of handles and bar for nothing. Hidden siblings draw
// nothing, wherever they stand.
void stackOnTop(const std::vector<QWidget*>& widgets) {
    if (widgets.empty() || !widgets.front()->parentWidget()) return;
    const auto counts = [&widgets](const QObject* sibling) {
        if (!sibling->isWidgetType()) return false;
        const auto* widget = static_cast<const QWidget*>(sibling);
        // Windows (sheets, pickers) stand apart from their parent's stacking.
        if (widget->isWindow()) return false;
        return !widget->isHidden() || std::find(widgets.begin(), widgets.end(), widget) != widgets.end();
    };
    const QObjectList& siblings = widgets.front()->parentWidget()->children();
    auto sibling = siblings.rbegin();
    bool inPlace = true;
    for (auto widget = widgets.rbegin(); widget != widgets.rend() && inPlace; ++widget) {
        while (sibling != siblings.rend() && !counts(*sibling))
            ++sibling;
        inPlace = sibling != siblings.rend() && *sibling == *widget;
        if (inPlace) ++sibling;
    }
    if (inPlace) return;
    for (QWidget* widget : widgets)
        widget->raise();
}

QPushButton* barButton(const QString& title, QWidget* parent) {
    auto* button = new QPushButton(title, parent);
    button->setAutoDefault(false);
    button->setFocusPolicy(Qt::NoFocus); // the keyboard stays with the canvas
    return button;
}

} // namespace

// ---- Drawing area ----

SceneCanvasArea::SceneCanvasArea(SceneGeometryCanvasModel& model, QWidget* parent)
    : QWidget(parent), model_(&model) {
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName("SceneGeometryCanvas");
}

bool SceneCanvasArea::hasHeightForWidth() const {
    return !model_->inputs().overlayMode;
}

int SceneCanvasArea::heightForWidth(int width) const {
    return static_cast<int>(std::lround(width / std::max(model_->cachedCanvasAspectRatio(), 1.0)));
}

std::vector<SceneCanvasArea::DrawnZone> SceneCanvasArea::drawnZones() const {
    std::vector<DrawnZone> zones;
    const std::optional<std::int64_t> selectedID =
        model_->selectedPath() ? model_->zoneID(*model_->selectedPath()) : std::nullopt;
    for (const auto& zone : model_->zoneFrames()) {
        const QRect frame =
            QRectF(zone.frame.minX(), zone.frame.minY(), zone.frame.width(), zone.frame.height())
                .toAlignedRect()
                .adjusted(2, 2, -2, -2);
        zones.push_back({frame, selectedID == zone.zoneID, model_->hoveredZoneID() == zone.zoneID});
    }
    return zones;
}

void SceneCanvasArea::setModel(SceneGeometryCanvasModel& model) {
    model_ = &model;
    drawn_.clear();
    update();
}

void SceneCanvasArea::refresh() {
    std::vector<DrawnZone> now = drawnZones();
    const bool sameFrames = now.size() == drawn_.size() &&
                            std::equal(now.begin(), now.end(), drawn_.begin(),
                                       [](const auto& a, const auto& b) { return a.frame == b.frame; });
    if (!sameFrames) {
        update();
    } else {
        for (std::size_t i = 0; i < now.size(); ++i)
            if (now[i] != drawn_[i]) update(now[i].frame);
    }
    drawn_ = std::move(now);
}

void SceneCanvasArea::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // Over the overlay's dimmed picture of the display the canvas draws lines, and fills only the zone
    // selected or under the pointer: a translucent fill over a whole display costs more than the rest of
    // the frame together. Lines and fills are whole-pixel rectangles, which the painter fills fastest (a
    // pen's outline is stroked and costs as much again), and lines are opaque greys, which it copies
    // rather than blends.
    const bool overlay = model_->inputs().overlayMode;
    if (!overlay) {
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(20, 22, 28));
        painter.drawRoundedRect(QRectF(rect()), 6, 6);
    }
    hairlineFrame(painter, rect(), QColor(70, 70, 74));
    // Zone outlines under the cells, so that an empty zone still shows where it is.
    for (const DrawnZone& zone : drawnZones()) {
        if (zone.selected)
            painter.fillRect(zone.frame, QColor(77, 128, 204, 60));
        else if (zone.hovered)
            painter.fillRect(zone.frame, QColor(255, 255, 255, 24));
        else if (!overlay)
            painter.fillRect(zone.frame, QColor(255, 255, 255, 12));
        hairlineFrame(painter, zone.frame, QColor(90, 90, 96));
    }
}

void SceneCanvasArea::resizeEvent(QResizeEvent*) {
    model_->setCanvasSize(Size{double(width()), double(height())});
}

void SceneCanvasArea::keyPressEvent(QKeyEvent* event) {
    std::string characters;
    switch (event->key()) {
    case Qt::Key_Escape:
        characters = "\x1b";
        break;
    case Qt::Key_Delete:
        characters = "\x7f";
        break;
    case Qt::Key_Backspace:
        characters = "\x08";
        break;
    default:
        if (event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier | Qt::AltModifier)) {
            const bool save = event->key() == Qt::Key_S && event->modifiers() == Qt::ControlModifier;
            if (!save || !onSaveKey || !onSaveKey()) event->ignore();
            return;
        }
        characters = event->text().toLower().toStdString();
        if (!characters.empty() && model_->handleKeyDown(characters)) return;
        // The key read as the shortcuts read it, by the letter it carries in a layout that names it: "v"
        // and "h" split in a layout without Latin letters too.
        if (keys)
            if (const auto code = keys->virtualKeyForNativeKey(event->nativeScanCode())) {
                const std::string letter = KeyCodes::name(*code);
                if (letter.size() == 1 && letter != characters && model_->handleKeyDown(letter)) return;
            }
        event->ignore();
        return;
    }
    if (characters.empty() || !model_->handleKeyDown(characters)) event->ignore();
}

// ---- The canvas ----

SceneGeometryCanvasView::SceneGeometryCanvasView(platform::Platform& platform,
                                                 std::shared_ptr<SceneGeometryCanvasModel> model,
                                                 QWidget* parent)
    : QWidget(parent), platform_(platform), model_(std::move(model)) {
    model_->setCachedCanvasAspectRatio(canvasAspectRatio(platform_.screens(), model_->inputs().displayUUID));
    area_ = new SceneCanvasArea(*model_, this);
    area_->keys = &platform_.hotKeys();
    pickers_ = std::make_unique<SceneCanvasPickers>(platform_, this, area_);
    if (!model_->inputs().overlayMode) {
        QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        policy.setHeightForWidth(true);
        area_->setSizePolicy(policy);
    }
    emptyState_ = new SceneCanvasEmptyStateView(area_);
    dividers_ = std::make_unique<SceneCanvasDividerHandles>(
        area_, model_->inputs().overlayMode,
        [this](const SceneCanvasPath& path, double ratio) { model_->dragDivider(path, ratio); });
    preview_ = new SceneCanvasSplitPreview(area_);
    preview_->hide();
    excluded_ = new SceneCanvasExcludedStrip(*model_, area_);
    auto* tracker = new CanvasMouseTracker(area_);
    tracker->onMove = [this](Point at) { model_->handleMouseMove(at, canvasRect(*model_)); };
    tracker->onClick = [this](Point at) {
        // With a split being placed a click anywhere confirms it where it is; otherwise the click goes on
        // to the cell, chip or divider under it.
        if (!previewActive(*model_)) return false;
        model_->confirmSplit(at, canvasRect(*model_));
        return true;
    };
    tracker->onExit = [this] { model_->clearHover(); };

    hint_ = new SceneCanvasPlateLabel({}, this);
    hint_->setAttribute(Qt::WA_TransparentForMouseEvents);
    QFont hintFont = hint_->font();
    hintFont.setPixelSize(11);
    hint_->setFont(hintFont);
    hint_->hide();

    if (model_->inputs().overlayMode)
        buildOverlayBar();
    else
        buildWindowHeader();

    observeModel();
    refresh();
}

SceneGeometryCanvasView::~SceneGeometryCanvasView() {
    if (observation_) observation_->cancel();
}

void SceneGeometryCanvasView::observeModel() {
    if (observation_) observation_->cancel();
    observation_ = model_->subscribe([this] { scheduleRefresh(); });
}

void SceneGeometryCanvasView::setModel(std::shared_ptr<SceneGeometryCanvasModel> model) {
    closePickers();
    model_ = std::move(model);
    model_->setCachedCanvasAspectRatio(canvasAspectRatio(platform_.screens(), model_->inputs().displayUUID));
    area_->setModel(*model_);
    excluded_->setModel(*model_);
    observeModel();
    if (model_->inputs().overlayMode) area_->setGeometry(rect());
    model_->setCanvasSize(Size{double(area_->width()), double(area_->height())});
    // Told again that it appears when it next shows, as a new canvas would; drawn only then, once the
    // model holds the scene's zones and applications, so that the views that show the same are kept
    // rather than made again for a model that has not appeared yet.
    appeared_ = false;
    if (isVisible()) showEvent(nullptr);
}

void SceneGeometryCanvasView::closePickers() {
    pickers_->close();
}

void SceneGeometryCanvasView::takeKey(QKeyEvent& key, const QPoint& pointer) {
    const QPoint at = area_->mapFromGlobal(pointer);
    if (key.type() == QEvent::KeyPress && area_->rect().contains(at))
        model_->handleMouseMove(Point{double(at.x()), double(at.y())}, canvasRect(*model_));
    QCoreApplication::sendEvent(area_, &key);
}

void SceneGeometryCanvasView::buildOverlayBar() {
    bar_ = new SceneCanvasOverlayBar(this);
    bar_->setObjectName("SceneEditorOverlayBar");
    auto* row = new QHBoxLayout(bar_);
    row->setContentsMargins(16, 10, 16, 10);
    row->setSpacing(10);
    row->addWidget(new SceneCanvasShortcutLegend(true, bar_));
    row->addWidget(sceneCanvasVerticalDivider(bar_));
    reset_ = barButton("Reset", bar_);
    save_ = barButton("Save", bar_);
    save_->setDefault(true);
    // Ctrl+S saves only while "Save" shows.
    area_->onSaveKey = [this] { return clickSaveIfShown(save_); };
    done_ = barButton("Done", bar_);
    row->addWidget(reset_);
    row->addWidget(save_);
    row->addWidget(done_);
    QObject::connect(reset_, &QPushButton::clicked, this, [this] { resetToScene(*model_); });
    QObject::connect(save_, &QPushButton::clicked, this, [this] { model_->saveAndReport(); });
    QObject::connect(done_, &QPushButton::clicked, this, [this] {
        // A copy: finishing may close the panel that holds this canvas.
        if (auto done = model_->inputs().onDone) done();
    });
}

void SceneGeometryCanvasView::buildWindowHeader() {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(12, 12, 12, 12);
    column->setSpacing(6);
    auto* header = new QHBoxLayout;
    header->setContentsMargins(4, 0, 4, 8);
    auto* title =
        new QLabel(QString::fromStdString("Scene Layout \xC2\xB7 " + model_->inputs().displayName), this);
    QFont font = title->font();
    font.setBold(true);
    title->setFont(font);
    header->addWidget(title);
    templateLabel_ = new QLabel(this);
    header->addWidget(templateLabel_);
    customize_ = new QPushButton("Customize layout", this);
    change_ = new QPushButton("Change layout", this);
    choose_ = new QPushButton("Choose layout", this);
    applyScene_ = new QPushButton("Apply scene", this);
    for (auto* button : {customize_, change_, choose_, applyScene_}) {
        button->setAutoDefault(false);
        header->addWidget(button);
    }
    header->addWidget(hint_);
    header->addStretch();
    QObject::connect(customize_, &QPushButton::clicked, this, [this] { model_->customizeLayout(); });
    QObject::connect(change_, &QPushButton::clicked, this, [this] {
        model_->openTemplatePicker(SceneGeometryCanvasModel::TemplatePickMode::change);
    });
    QObject::connect(choose_, &QPushButton::clicked, this, [this] {
        model_->openTemplatePicker(SceneGeometryCanvasModel::TemplatePickMode::start);
    });
    QObject::connect(applyScene_, &QPushButton::clicked, this, [this] {
        if (auto restore = model_->inputs().onRestoreScene) model_->applyScene(restore);
    });
    column->addLayout(header);
    auto* topLine = new QFrame(this);
    topLine->setFrameShape(QFrame::HLine);
    column->addWidget(topLine);
    column->addWidget(area_);
    auto* bottomLine = new QFrame(this);
    bottomLine->setFrameShape(QFrame::HLine);
    column->addWidget(bottomLine);
    saveBar_ =
        new SceneCanvasSaveBar([this] { resetToScene(*model_); }, [this] { model_->saveAndReport(); }, this);
    column->addWidget(saveBar_);
    column->addStretch();
}

void SceneGeometryCanvasView::showEvent(QShowEvent*) {
    if (appeared_) return;
    appeared_ = true;
    model_->appear();
    // The cells now, not on a later turn: the first frame shows the zones, not the empty state.
    refresh();
    area_->setFocus();
}

void SceneGeometryCanvasView::resizeEvent(QResizeEvent*) {
    if (model_->inputs().overlayMode) area_->setGeometry(rect());
    placeFloating();
    // A new size gave the zones new frames: the cells follow before the next frame is drawn.
    if (refreshPosted_) refresh();
}

void SceneGeometryCanvasView::scheduleRefresh() {
    // Coalesced and never from inside the model's call: a drop or a click on a cell must not see that cell
    // rebuilt under it.
    if (refreshPosted_) return;
    refreshPosted_ = true;
    QTimer::singleShot(0, this, [this] {
        if (refreshPosted_) refresh();
    });
}

void SceneGeometryCanvasView::startDrag(QWidget* source, const std::string& payload) {
    auto* mime = new QMimeData;
    mime->setText(QString::fromStdString(payload));
    auto* drag = new QDrag(source);
    drag->setMimeData(mime);
    QPixmap transparent(1, 1);
    transparent.fill(Qt::transparent);
    drag->setPixmap(transparent);
    dragSource_ = source;
    drag->exec(Qt::MoveAction | Qt::CopyAction, Qt::MoveAction);
    dragSource_ = nullptr;
    // The drag's own leave may not arrive when it ends on another panel.
    if (model_->dropTargetZoneID()) model_->setDropTarget(*model_->dropTargetZoneID(), false);
    // What the drag kept standing is brought up to date now.
    refresh();
}

void SceneGeometryCanvasView::refresh() {
    refreshPosted_ = false;
    refreshCells();
    refreshHandles();
    refreshPreview();
    refreshBars();
    if (!(dragSource_ && excluded_->isAncestorOf(dragSource_)))
        excluded_->setApps(model_->excludedApps(), [this](QWidget* source, const std::string& payload) {
            startDrag(source, payload);
        });
    emptyState_->setVisible(model_->zoneFramesNormalized().empty());
    placeFloating();
    restack();
    area_->refresh();
    pickers_->refresh(model_, [this](std::int64_t zoneID) -> QWidget* {
        auto cell = cells_.find(zoneID);
        return cell != cells_.end() ? cell->second->addButton() : nullptr;
    });
}

SceneCanvasZoneCell* SceneGeometryCanvasView::makeCell(std::int64_t zoneID,
                                                       std::vector<SceneCanvasAppEntry> apps) {
    SceneCanvasZoneCell::Callbacks callbacks;
    callbacks.onTap = [this, zoneID] { model_->handleZoneTap(zoneID); };
    callbacks.onRemoveApp = [this, zoneID](const SceneCanvasAppEntry& entry) {
        model_->removeApp(entry, zoneID);
    };
    callbacks.onAddPressed = [this, zoneID] {
        model_->setAppPickerBundleID("");
        model_->setAppPickerPresented(zoneID, true);
    };
    callbacks.onDropToZone = [this, zoneID](const std::string& text) {
        return model_->dropTextsOnZone({text}, zoneID);
    };
    callbacks.onDropToIndex = [this, zoneID](const std::string& text, int index) {
        return model_->dropTextsOnZone({text}, zoneID, static_cast<std::size_t>(index));
    };
    callbacks.onDropTargeted = [this, zoneID](bool targeted) { model_->setDropTarget(zoneID, targeted); };
    callbacks.takesDrop = [this, zoneID](const std::string& text) {
        return model_->zoneTakesDrop(text, zoneID);
    };
    callbacks.dragPayloadForEntry = [this, zoneID](const SceneCanvasAppEntry& entry) {
        return model_->dragPayload(entry, zoneID);
    };
    callbacks.startDrag = [this](QWidget* source, const std::string& payload) { startDrag(source, payload); };
    auto* cell = new SceneCanvasZoneCell(zoneID, std::move(apps), model_->inputs().overlayMode,
                                         std::move(callbacks), area_);
    cell->show();
    return cell;
}

void SceneGeometryCanvasView::refreshCells() {
    const auto& zones = model_->zoneFramesNormalized();
    const bool sameZones = zones == shownZones_;
    std::map<std::int64_t, SceneCanvasZoneCell*> next;
    for (const auto& zone : zones) {
        std::vector<SceneCanvasAppEntry> apps = model_->displayedApps(zone.zoneID);
        auto existing = cells_.find(zone.zoneID);
        // The cell holding the chip being dragged stays until the drag ends: the drag runs inside it.
        const bool holdsDrag =
            existing != cells_.end() && dragSource_ && existing->second->isAncestorOf(dragSource_);
        // A reload of the same scene gives its chips new identities and nothing else: the cell takes them.
        if (existing != cells_.end() && (holdsDrag || (sameZones && (existing->second->apps() == apps ||
                                                                     existing->second->renew(apps))))) {
            next[zone.zoneID] = existing->second;
            cells_.erase(existing);
        } else {
            next[zone.zoneID] = makeCell(zone.zoneID, std::move(apps));
        }
    }
    for (auto& [id, cell] : cells_) {
        // Off the screen now, in the frame that shows its replacement, not in one of its own later.
        cell->hide();
        if (dragSource_ && cell->isAncestorOf(dragSource_)) {
            // A zone that went away while its chip is dragged: dropped with the next refresh.
            next[-1 - id] = cell;
            continue;
        }
        cell->deleteLater();
    }
    cells_ = std::move(next);
    shownZones_ = zones;

    // Cells at inset 0 so that their edges meet the dividers.
    const SceneZoneCanvasLayout layout{zones, 0};
    const std::vector<Rect> placed = layout.placements(canvasRect(*model_));
    const std::optional<std::int64_t> selected =
        model_->selectedPath() ? model_->zoneID(*model_->selectedPath()) : std::nullopt;
    for (std::size_t i = 0; i < zones.size() && i < placed.size(); ++i) {
        SceneCanvasZoneCell* cell = cells_.at(zones[i].zoneID);
        cell->show();
        cell->setGeometry(pixelRect(placed[i]));
        cell->setSelected(selected == zones[i].zoneID);
        cell->setDropTarget(model_->dropTargetZoneID() == zones[i].zoneID);
    }
}

void SceneGeometryCanvasView::refreshHandles() {
    dividers_->show(model_->splitLines(), previewActive(*model_));
}

const std::vector<SceneCanvasSplitHandle*>& SceneGeometryCanvasView::handles() const {
    return dividers_->handles();
}

void SceneGeometryCanvasView::refreshPreview() {
    if (!previewActive(*model_)) {
        preview_->hide();
        return;
    }
    const auto& path = model_->hoverPath() ? model_->hoverPath() : model_->selectedPath();
    const Rect canvas = canvasRect(*model_);
    Rect bounds;
    if (model_->treeEditor() && path) bounds = model_->treeEditor()->bounds(*path, canvas);
    const double c = std::clamp(model_->splitPreviewRatio(), 0.1, 0.9);
    const SplitAxis axis = *model_->splitPreviewMode();
    const double absolute = axis == SplitAxis::horizontal
                                ? (bounds.minX() + c * bounds.width()) / std::max(canvas.width(), 1.0)
                                : (bounds.minY() + c * bounds.height()) / std::max(canvas.height(), 1.0);
    preview_->setGeometry(area_->rect());
    preview_->set(axis, model_->splitPreviewRatio(), bounds, absolute);
    preview_->show();
}

void SceneGeometryCanvasView::refreshBars() {
    QString hint;
    bool orange = false;
    if (model_->splitPreviewMode()) {
        hint = kPreviewHint;
    } else if (model_->hintMessage()) {
        hint = QString::fromStdString(*model_->hintMessage());
        orange = true;
    }
    hint_->setText(hint);
    const bool onOverlay = model_->inputs().overlayMode;
    if (orange || onOverlay) {
        setSceneCanvasTextColour(hint_, Qt::white);
        hint_->setPlate(orange ? QColor(255, 149, 0, 217) : QColor(0, 0, 0, 140), 5, QMargins(6, 2, 6, 2));
    } else {
        setSceneCanvasTextColour(hint_, hint_->palette().color(QPalette::Text));
        hint_->clearPlate();
    }
    hint_->adjustSize();
    hint_->setVisible(!hint.isEmpty());

    const bool dirty = model_->isGeometryDirty() || model_->isWindowHintsDirty();
    if (onOverlay) {
        reset_->setVisible(dirty);
        save_->setVisible(dirty);
        bar_->adjustSize();
        return;
    }
    saveBar_->setDirty(dirty);
    const CanvasGeometrySource source = model_->currentGeometrySource();
    const auto* templ = std::get_if<CanvasGeometrySource::Template>(&source.value);
    templateLabel_->setText(templ ? QString::fromStdString("Template: " + templ->name) : QString());
    templateLabel_->setVisible(templ != nullptr);
    customize_->setVisible(templ != nullptr);
    change_->setVisible(templ != nullptr);
    choose_->setVisible(source.isNone() && model_->inputs().layoutTemplateResolver != nullptr);
    applyScene_->setVisible(static_cast<bool>(model_->inputs().onRestoreScene));
    applyScene_->setEnabled(model_->treeEditor() != nullptr);
}

void SceneGeometryCanvasView::placeFloating() {
    const QRect area = area_->rect();
    emptyState_->setGeometry(area);
    excluded_->move(12, area.height() - excluded_->height() - 12);
    if (!model_->inputs().overlayMode) return;
    bar_->adjustSize();
    const QSize barSize = bar_->sizeHint();
    const QPoint barAt((width() - barSize.width()) / 2, height() - 24 - barSize.height());
    bar_->setGeometry(QRect(barAt, barSize));
    hint_->move((width() - hint_->width()) / 2, barAt.y() - 8 - hint_->height());
}

void SceneGeometryCanvasView::restack() {
    // On the area: the dividers above the cells, the split preview above them, then the Excluded strip and
    // the share of a divider under the pointer or in hand.
    std::vector<QWidget*> onArea(handles().begin(), handles().end());
    if (!preview_->isHidden()) onArea.push_back(preview_);
    onArea.push_back(excluded_);
    for (auto* handle : handles())
        if (handle->ratioLabel() && !handle->ratioLabel()->isHidden()) onArea.push_back(handle->ratioLabel());
    stackOnTop(onArea);
    // On the overlay the bar and the hint float above the area.
    if (model_->inputs().overlayMode) stackOnTop({bar_, hint_});
}

} // namespace korvane
