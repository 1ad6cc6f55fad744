// The application picker of a zone cell: a popup under the cell's add button, closed by a choice or by a
// click anywhere else, which adds nothing.
#include "ui/scene_manager/SceneSaveSheet.h"

#include "ui/scene_manager/SceneSaveViewModel.h"
#include "ui/switchers/AppPickerView.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>

namespace korvane {

void SceneSaveSheet::openAppPicker(std::int64_t zoneID, QWidget* anchor) {
    if (appPicker_) appPicker_->close();
    appPickerZoneID_ = zoneID;
    QPointer<SceneSaveSheet> self(this);
    auto* picker = new AppPickerView(
        viewModel_->platform(), "", false,
        [self, zoneID](const std::string& bundleID) {
            if (!self) return;
            self->viewModel_->addManualApp(bundleID, zoneID);
            self->appPickerZoneID_.reset();
            self->reload();
        },
        this);
    // A popup: the toolkit closes it on a click outside it, as a dismissal without a choice.
    picker->setWindowFlags(Qt::Popup);
    picker->setAttribute(Qt::WA_DeleteOnClose);
    appPicker_ = picker;
    QObject::connect(picker, &QDialog::finished, this, [this, picker] { pickerClosed(picker); });

    QPoint at =
        anchor->mapToGlobal(QPoint(anchor->width() / 2 - AppPickerView::kWidth / 2, anchor->height() + 4));
    if (QScreen* screen = anchor->screen()) {
        const QRect room = screen->availableGeometry();
        at.setX(std::clamp(at.x(), room.left(), std::max(room.left(), room.right() - AppPickerView::kWidth)));
        at.setY(std::clamp(at.y(), room.top(), std::max(room.top(), room.bottom() - AppPickerView::kHeight)));
    }
    picker->move(at);
    picker->show();
}

void SceneSaveSheet::pickerClosed(QWidget* picker) {
    // Only the picker still open speaks for the open zone: one replaced by another closes after it opened.
    if (appPicker_ && appPicker_ != picker) return;
    appPicker_ = nullptr;
    appPickerZoneID_.reset();
}

} // namespace korvane
