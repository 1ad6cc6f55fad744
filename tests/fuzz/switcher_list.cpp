// The global switcher's listing of a window list as other programs fill it (any keys, any types, any
// bytes in names and titles): every tile has a hint in valid UTF-8, tiles are in order of application
// name and title, no window is listed twice, and two applications that are alone in their group never
// share a hint.
#include "FuzzSupport.h"

#include "ui/switchers/CGPipeline.h"
#include "ui/switchers/SwitcherHints.h"

#include <set>
#include <unordered_map>

using namespace korvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto json = fuzz::parseJSON(fuzz::text(data, size));
    if (!json || !json->is_array()) return 0;
    std::vector<platform::WindowInfo> list(json->begin(), json->end());

    // Every owner named in the list runs, named after its first entry's owner name.
    CGPipeline::Context context;
    std::vector<RunningAppSnapshot> apps;
    for (const auto& entry : list) {
        if (!entry.is_object()) continue;
        const auto pid = entry.find("OwnerPID");
        if (pid == entry.end() || !pid->is_number_integer()) continue;
        const auto id = static_cast<pid_t>(pid->get<std::int64_t>());
        if (context.appsByPID.contains(id)) continue;
        RunningAppSnapshot app{id, "bundle." + std::to_string(id % 3), std::nullopt, true, id % 7 == 0};
        if (auto name = entry.find("OwnerName"); name != entry.end() && name->is_string())
            app.localizedName = name->get<std::string>();
        context.appsByPID.emplace(id, app);
        apps.push_back(app);
    }
    context.screens = {
        platform::ScreenInfo{Rect{0, 0, 1440, 900}, Rect{0, 0, 1440, 875}, 1, 1, "D1", "Main"}};
    context.primaryHeight = 900;

    auto items = CGPipeline::appendWindowlessApplications(CGPipeline::buildItems(list, context), apps);
    CGPipeline::sortItems(items);
    SwitcherHints::assignHints(items);

    std::set<std::string> stableIDs;
    std::unordered_map<std::u32string, std::size_t> groupSize;
    for (const auto& item : items)
        ++groupSize[SwitcherHints::applicationKey(item.appName)];
    std::unordered_map<std::string, std::u32string> loneHints;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const auto& item = items[i];
        FUZZ_CHECK(item.hint && isValidUTF8(*item.hint) && !item.hint->empty(), item.title);
        FUZZ_CHECK(stableIDs.insert(item.stableID).second, item.stableID);
        if (i > 0)
            FUZZ_CHECK(items[i - 1].appName < item.appName ||
                           (items[i - 1].appName == item.appName && items[i - 1].title <= item.title),
                       item.title);
        const auto key = SwitcherHints::applicationKey(item.appName);
        if (groupSize[key] == 1) {
            auto [it, fresh] = loneHints.emplace(*item.hint, key);
            FUZZ_CHECK(fresh || it->second == key, *item.hint);
        }
    }
    return 0;
}
