// The Excluded strip: its chips laid out in a row, and the drops it takes.
#include "ui/scene_editor/SceneCanvasExcludedStrip.h"

#include "ui/scene_editor/SceneCanvasPlates.h"
#include "ui/scene_editor/SceneGeometryCanvasModel.h"

#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QScrollArea>

#include <algorithm>

namespace korvane {

SceneCanvasExcludedStrip::SceneCanvasExcludedStrip(SceneGeometryCanvasModel& model, QWidget* parent)
    : QWidget(parent), model_(&model), title_(new QLabel("Excluded", this)), scroll_(new QScrollArea(this)),
      row_(new QWidget) {
    setAcceptDrops(true);
    QFont font = title_->font();
    font.setPixelSize(10);
    title_->setFont(font);
    setSceneCanvasTextColour(title_, QColor(255, 255, 255, 150));
    title_->setAttribute(Qt::WA_TransparentForMouseEvents);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setWidget(row_);
    // Transparent, so that the strip's own plate shows behind the chips; after setWidget, which turns the
    // row's filling on.
    scroll_->viewport()->setAutoFillBackground(false);
    row_->setAutoFillBackground(false);
    scroll_->setAcceptDrops(false);
    hide();
}

void SceneCanvasExcludedStrip::setApps(const std::vector<SceneCanvasAppEntry>& apps,
                                       const SceneCanvasDragStarter& startDrag) {
    if (apps == apps_ && !chips_.empty()) return;
    if (!chips_.empty() && chips_.size() == apps.size() && sameApplications(apps, apps_)) {
        // The same chips under the identities of another load or with names looked up since: only a
        // renamed chip is drawn again.
        apps_ = apps;
        for (std::size_t i = 0; i < chips_.size(); ++i)
            chips_[i]->renew(apps_[i], model_->dragPayloadForExcluded(apps_[i]));
        return;
    }
    apps_ = apps;
    for (auto* chip : chips_)
        chip->deleteLater();
    chips_.clear();
    int x = 0;
    for (const auto& entry : apps_) {
        auto* chip =
            new SceneCanvasExcludedAppIcon(entry, model_->dragPayloadForExcluded(entry), startDrag, row_);
        chip->move(x, 0);
        chip->show();
        x += chip->width() + 8;
        chips_.push_back(chip);
    }
    const int chipHeight = chips_.empty() ? 0 : chips_.front()->height();
    row_->resize(std::max(x - 8, 0), chipHeight);
    title_->adjustSize();
    // 10 pt each side and 8 pt above and below, the title then the chips.
    const int contentWidth = title_->width() + 8 + row_->width();
    const int maxWidth = parentWidget() ? std::max(parentWidget()->width() - 24, 80) : contentWidth + 20;
    const int w = std::min(contentWidth + 20, maxWidth);
    const int h = std::max(chipHeight, title_->height()) + 16;
    resize(w, h);
    title_->move(10, (h - title_->height()) / 2);
    scroll_->setGeometry(10 + title_->width() + 8, 8, std::max(w - 20 - title_->width() - 8, 0), chipHeight);
    setVisible(!apps_.empty());
}

void SceneCanvasExcludedStrip::setModel(SceneGeometryCanvasModel& model) {
    model_ = &model;
    // Kept for the new model's applications where they show the same; their payloads name its display.
    for (auto* chip : chips_)
        chip->renew(chip->entry(), model_->dragPayloadForExcluded(chip->entry()));
}

bool SceneCanvasExcludedStrip::acceptDrop(const std::vector<std::string>& texts) {
    return model_->dropTextsOnExcluded(texts);
}

void SceneCanvasExcludedStrip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(255, 255, 255, 51), 1));
    painter.setBrush(QColor(20, 22, 28, 200));
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
}

void SceneCanvasExcludedStrip::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasText()) event->acceptProposedAction();
}

void SceneCanvasExcludedStrip::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData()->hasText()) event->acceptProposedAction();
}

void SceneCanvasExcludedStrip::dropEvent(QDropEvent* event) {
    if (acceptDrop(sceneCanvasDropTexts(event->mimeData())))
        event->acceptProposedAction();
    else
        event->ignore();
}

} // namespace korvane
