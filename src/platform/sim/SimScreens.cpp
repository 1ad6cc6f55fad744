// Display bookkeeping of the simulated desktop.
#include "platform/sim/SimScreens.h"

#include "platform/sim/SimModel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <vector>

namespace korvane::sim {

using platform::ScreenInfo;

namespace {

// A stable, well-formed identity for a display that the test did not name.
std::string uuidFor(std::uint32_t displayNumber) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "5D1A0000-0000-4000-8000-%012X", static_cast<unsigned>(displayNumber));
    return buf;
}

SimDisplay& requireDisplay(SimModel& m, int id) {
    for (auto& d : m.displays)
        if (d.id == id) return d;
    throw std::invalid_argument("no simulated display has id " + std::to_string(id));
}

} // namespace

SimScreens::SimScreens(SimModel& model) : model_(model) {}

std::vector<ScreenInfo> SimScreens::screens() {
    std::lock_guard lock(model_.mutex);
    std::vector<ScreenInfo> out;
    if (const auto* main = model_.mainDisplayLocked()) out.push_back(main->info);
    for (const auto& d : model_.displays)
        if (d.id != model_.mainDisplay) out.push_back(d.info);
    return out;
}

std::optional<ScreenInfo> SimScreens::mainScreen() {
    std::lock_guard lock(model_.mutex);
    if (!model_.namesMainDisplay) return std::nullopt;
    if (const auto* main = model_.mainDisplayLocked()) return main->info;
    return std::nullopt;
}

Point SimScreens::mouseLocation() {
    std::lock_guard lock(model_.mutex);
    return model_.mouse;
}

bool SimScreens::isCompositing() {
    std::lock_guard lock(model_.mutex);
    return model_.compositing;
}

std::optional<Rect> SimScreens::keyWindowFrame() {
    std::lock_guard lock(model_.mutex);
    return model_.keyWindowFrame;
}

void SimScreens::setKeyWindowFrame(std::optional<Rect> frame) {
    std::lock_guard lock(model_.mutex);
    model_.keyWindowFrame = frame;
}

bool SimScreens::capture(const Rect& area,
                         const std::function<void(const platform::ScreenPictureView&)>& read) {
    std::uint32_t colour = 0;
    {
        std::lock_guard lock(model_.mutex);
        if (!model_.pictureColour || area.width() < 1 || area.height() < 1) return false;
        colour = *model_.pictureColour;
    }
    const int width = static_cast<int>(std::lround(area.width()));
    const int height = static_cast<int>(std::lround(area.height()));
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height),
                                      colour);
    read(platform::ScreenPictureView{pixels.data(), width, height, 0, height});
    return true;
}

void SimScreens::setPictureColour(std::optional<std::uint32_t> colour) {
    std::lock_guard lock(model_.mutex);
    model_.pictureColour = colour;
}

void SimScreens::setCompositing(bool compositing) {
    std::lock_guard lock(model_.mutex);
    model_.compositing = compositing;
}

int SimScreens::addDisplay(const SimDisplaySpec& desc) {
    std::lock_guard lock(model_.mutex);
    SimDisplay d;
    d.id = model_.nextDisplayID++;
    d.info.frame = desc.frame;
    d.info.visibleFrame = desc.visibleFrame.value_or(desc.frame);
    d.info.backingScale = desc.backingScale;
    d.info.displayNumber = desc.displayNumber ? desc.displayNumber : model_.nextDisplayNumber;
    model_.nextDisplayNumber = std::max(model_.nextDisplayNumber, d.info.displayNumber + 1);
    d.info.displayUUID = desc.uuid.value_or(uuidFor(d.info.displayNumber));
    d.info.localizedName = desc.name.value_or("Display " + std::to_string(d.info.displayNumber));
    if (!model_.mainDisplayLocked()) model_.mainDisplay = d.id;
    model_.displays.push_back(std::move(d));
    model_.postNotificationLocked(platform::kScreenParametersDidChange, nlohmann::json::object());
    return model_.displays.back().id;
}

void SimScreens::removeDisplay(int id) {
    std::lock_guard lock(model_.mutex);
    requireDisplay(model_, id);
    std::erase_if(model_.displays, [&](const auto& d) { return d.id == id; });
    if (model_.mainDisplay == id)
        model_.mainDisplay = model_.displays.empty() ? 0 : model_.displays.front().id;
    model_.postNotificationLocked(platform::kScreenParametersDidChange, nlohmann::json::object());
}

void SimScreens::setDisplayFrame(int id, const Rect& frame, std::optional<Rect> visibleFrame) {
    std::lock_guard lock(model_.mutex);
    auto& d = requireDisplay(model_, id);
    d.info.frame = frame;
    d.info.visibleFrame = visibleFrame.value_or(frame);
    model_.postNotificationLocked(platform::kScreenParametersDidChange, nlohmann::json::object());
}

void SimScreens::setVisibleFrame(int id, const Rect& visibleFrame) {
    std::lock_guard lock(model_.mutex);
    requireDisplay(model_, id).info.visibleFrame = visibleFrame;
    model_.postNotificationLocked(platform::kScreenParametersDidChange, nlohmann::json::object());
}

void SimScreens::setBackingScale(int id, double scale) {
    std::lock_guard lock(model_.mutex);
    requireDisplay(model_, id).info.backingScale = scale;
    model_.postNotificationLocked(platform::kScreenParametersDidChange, nlohmann::json::object());
}

void SimScreens::setMainDisplay(int id) {
    std::lock_guard lock(model_.mutex);
    requireDisplay(model_, id);
    model_.mainDisplay = id;
    model_.postNotificationLocked(platform::kScreenParametersDidChange, nlohmann::json::object());
}

void SimScreens::setNamesMainScreen(bool names) {
    std::lock_guard lock(model_.mutex);
    model_.namesMainDisplay = names;
}

void SimScreens::setMouseLocation(Point location) {
    std::lock_guard lock(model_.mutex);
    model_.mouse = location;
}

std::optional<ScreenInfo> SimScreens::display(int id) const {
    std::lock_guard lock(model_.mutex);
    for (const auto& d : model_.displays)
        if (d.id == id) return d.info;
    return std::nullopt;
}

} // namespace korvane::sim
