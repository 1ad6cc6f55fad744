// The application picker of a zone cell: a popup under the cell's add button (above it where the screen
// has no room below), closed by a choice or by a click anywhere else, which adds nothing.
#include "ui/scene_manager/SceneSaveSheet.h"

#include "platform/Platform.h"
#include "ui/overlays/PopupPlacement.h"
#include "ui/scene_manager/SceneSaveViewModel.h"
#include "ui/switchers/AppPickerView.h"

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

    const QRect button(anchor->mapToGlobal(QPoint(0, 0)), anchor->size());
    picker->move(popupFrame(viewModel_->platform().screens(), button,
                            QSize(AppPickerView::kWidth, AppPickerView::kHeight), 4)
                     .topLeft());
    picker->show();
}

void SceneSaveSheet::pickerClosed(QWidget* picker) {
    // Only the picker still open speaks for the open zone: one replaced by another closes after it opened.
    if (appPicker_ && appPicker_ != picker) return;
    appPicker_ = nullptr;
    appPickerZoneID_.reset();
}

} // namespace korvane
