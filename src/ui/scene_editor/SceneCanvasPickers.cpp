// The scene canvas's template sheet and application picker, opened and closed after its model's flags.
#include "ui/scene_editor/SceneCanvasPickers.h"

#include "platform/Platform.h"
#include "platform/Screens.h"
#include "ui/overlays/Overlay.h"
#include "ui/scene_editor/SceneGeometryCanvasModel.h"

#include <algorithm>

namespace korvane {

SceneCanvasPickers::SceneCanvasPickers(platform::Platform& platform, QWidget* canvas, QWidget* keyboardTaker)
    : platform_(platform), canvas_(canvas), keyboardTaker_(keyboardTaker) {}

SceneCanvasPickers::~SceneCanvasPickers() {
    if (templatePicker_) QObject::disconnect(templatePicker_, nullptr, canvas_, nullptr);
    if (appPicker_) QObject::disconnect(appPicker_, nullptr, canvas_, nullptr);
}

void SceneCanvasPickers::close() {
    if (templatePicker_) templatePicker_->close();
    if (appPicker_) appPicker_->close();
    appPicker_ = nullptr;
    appPickerZone_.reset();
}

void SceneCanvasPickers::refresh(const std::shared_ptr<SceneGeometryCanvasModel>& model,
                                 const std::function<QWidget*(std::int64_t zoneID)>& addButton) {
    refreshTemplatePicker(model);
    const std::optional<std::int64_t> zone = model->appPickerZoneID();
    if (appPicker_ && zone != appPickerZone_) {
        appPicker_->close();
        appPicker_ = nullptr;
    }
    if (zone && !appPicker_) {
        appPickerZone_ = zone;
        openAppPicker(model, *zone, addButton(*zone));
    } else if (!zone) {
        appPickerZone_.reset();
    }
}

void SceneCanvasPickers::refreshTemplatePicker(const std::shared_ptr<SceneGeometryCanvasModel>& model) {
    // Opened once while the flag is set, closed when it clears.
    if (model->showTemplatePicker() && !templatePicker_) {
        std::weak_ptr<SceneGeometryCanvasModel> weak = model;
        auto* sheet = new LayoutTemplatePickerSheet(
            model->templatePickerTemplates(),
            [weak](const ConfigZoneSet& layout) {
                if (auto shared = weak.lock()) {
                    shared->applyTemplate(layout);
                    shared->dismissTemplatePicker();
                }
            },
            [weak] {
                if (auto shared = weak.lock()) shared->dismissTemplatePicker();
            },
            LayoutTemplatePickerSheet::kDefaultSearchThreshold, canvas_);
        sheet->setAttribute(Qt::WA_DeleteOnClose);
        sheet->setWindowModality(Qt::WindowModal);
        QObject::connect(sheet, &QDialog::finished, canvas_, [this] { takeKeyboardBack(); });
        templatePicker_ = sheet;
        sheet->open();
    } else if (!model->showTemplatePicker() && templatePicker_) {
        templatePicker_->close();
    }
}

void SceneCanvasPickers::openAppPicker(const std::shared_ptr<SceneGeometryCanvasModel>& model,
                                       std::int64_t zoneID, QWidget* addButton) {
    std::weak_ptr<SceneGeometryCanvasModel> weak = model;
    auto* picker = new AppPickerView(
        platform_, model->appPickerBundleID(), true,
        [weak, zoneID](const std::string& bundleID) {
            if (auto shared = weak.lock()) {
                shared->addApp(bundleID, zoneID);
                shared->setAppPickerPresented(zoneID, false);
            }
        },
        canvas_);
    picker->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(picker, &QDialog::finished, canvas_, [this, weak, zoneID] {
        if (auto shared = weak.lock())
            if (shared->appPickerZoneID() == zoneID) shared->setAppPickerPresented(zoneID, false);
        takeKeyboardBack();
    });
    // Beside its zone's add button, as a popover would stand, and wholly on the button's screen, its
    // frame with it: a zone near a screen's edge must not send it over the next screen's panel, and on a
    // screen lower than the picker (in the toolkit's pixels, under a scale) it is shortened to fit.
    std::optional<Rect> area;
    if (addButton) {
        area = visibleFrameAt(QRect(addButton->mapToGlobal(QPoint()), addButton->size()));
        const QSize frame = windowManagerFrame(*picker);
        QRect placed(addButton->mapToGlobal(QPoint(addButton->width() + 8, 0)), picker->size() + frame);
        if (area) {
            const QRect bounds = qtGlobalRect(platform_.screens(), *area);
            picker->setFixedSize(picker->size().boundedTo(bounds.size() - frame));
            placed.setSize(picker->size() + frame);
            placed.moveLeft(
                std::max(bounds.left(), std::min(placed.left(), bounds.right() + 1 - placed.width())));
            placed.moveTop(
                std::max(bounds.top(), std::min(placed.top(), bounds.bottom() + 1 - placed.height())));
        }
        picker->move(placed.topLeft());
    }
    appPicker_ = picker;
    picker->open();
    if (area) keepInsideOnceShown(platform_.screens(), *picker, *area);
}

std::optional<Rect> SceneCanvasPickers::visibleFrameAt(const QRect& qtGlobal) const {
    platform::Screens& screens = platform_.screens();
    const Point middle = platformRect(screens, qtGlobal).center();
    for (const platform::ScreenInfo& screen : screens.screens())
        if (screen.frame.contains(middle)) return screen.visibleFrame;
    return std::nullopt;
}

void SceneCanvasPickers::takeKeyboardBack() {
    // A closing picker leaves the focus to the window manager, which hands it to a window of its own
    // choosing: openbox passes over the editor's panels, shown on every workspace, for the scene manager
    // beneath them, where the editor's keys would go unheard.
    QWidget* window = canvas_->window();
    // Not while the canvas itself goes, its editor closing.
    if (!window->isVisible()) return;
    window->activateWindow();
    keyboardTaker_->setFocus(Qt::OtherFocusReason);
}

} // namespace korvane
