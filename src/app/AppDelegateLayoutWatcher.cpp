// The watcher of the Layouts folder: user layout files added, edited or removed while the application
// runs take effect after a short quiet time, and a folder that was deleted or moved away is watched
// again at its path.
#include "app/AppDelegate.h"

#include "core/Log.h"
#include "layouts/ZoneSetStore.h"
#include "platform/Platform.h"

namespace korvane {

namespace fs = std::filesystem;

namespace {

constexpr double kWatcherRestartDelay = 0.2; // seconds

} // namespace

void AppDelegate::startLayoutDirectoryWatcher() {
    stopLayoutDirectoryWatcher();
    fs::path folder;
    try {
        folder = ZoneSetStore::layoutsDirectoryURL();
        std::error_code ec;
        if (!fs::exists(fs::symlink_status(folder, ec))) {
            fs::create_directories(folder, ec);
            if (ec) throw fs::filesystem_error("cannot create the Layouts folder", folder, ec);
        }
    } catch (const std::exception& e) {
        Log::app.error("Failed to start layouts directory watcher: %s", e.what());
        return;
    }
    auto watch = platform_.folderWatcher().watch(folder.string(), [weak = weak_from_this()](unsigned events) {
        if (auto self = weak.lock()) self->handleLayoutDirectoryEvent(events);
    });
    if (!watch) {
        Log::app.error("Failed to watch layouts directory %s", folder.string());
        return;
    }
    layoutDirectoryWatcher = std::move(watch);
    Log::app.info("Started layouts directory watcher path=%s", folder.string());
}

void AppDelegate::stopLayoutDirectoryWatcher() {
    if (pendingLayoutDirectoryReloadWorkItem) {
        pendingLayoutDirectoryReloadWorkItem->cancel();
        pendingLayoutDirectoryReloadWorkItem.reset();
    }
    if (pendingLayoutDirectoryWatcherRestartWorkItem) {
        pendingLayoutDirectoryWatcherRestartWorkItem->cancel();
        pendingLayoutDirectoryWatcherRestartWorkItem.reset();
    }
    if (layoutDirectoryWatcher) {
        auto watch = std::move(layoutDirectoryWatcher);
        watch->cancel();
    }
}

void AppDelegate::handleLayoutDirectoryEvent(unsigned mask) {
    Log::app.debug("Layouts directory changed mask=%lu", mask);
    scheduleLayoutDirectoryReload("fs-event");
    if (mask & (platform::kFolderDelete | platform::kFolderRename | platform::kFolderRevoke))
        scheduleLayoutDirectoryWatcherRestart("fs-invalidated");
}

void AppDelegate::scheduleLayoutDirectoryReload(const std::string& reason) {
    if (pendingLayoutDirectoryReloadWorkItem) pendingLayoutDirectoryReloadWorkItem->cancel();
    pendingLayoutDirectoryReloadWorkItem = platform_.runLoop().postAfter(
        seconds(layoutDirectoryReloadDebounce), [weak = weak_from_this(), reason] {
            auto self = weak.lock();
            if (!self) return;
            self->reloadUserLayouts();
            self->publishRefresh("AppDelegate+Persistence.scheduleLayoutDirectoryReload");
            Log::app.info("Layouts hot-reloaded reason=%s count=%ld", reason,
                          static_cast<std::int64_t>(self->regionSets.size()));
        });
}

void AppDelegate::scheduleLayoutDirectoryWatcherRestart(const std::string& reason) {
    if (pendingLayoutDirectoryWatcherRestartWorkItem) pendingLayoutDirectoryWatcherRestartWorkItem->cancel();
    pendingLayoutDirectoryWatcherRestartWorkItem =
        platform_.runLoop().postAfter(seconds(kWatcherRestartDelay), [weak = weak_from_this(), reason] {
            if (auto self = weak.lock()) self->restartLayoutDirectoryWatcher(reason);
        });
}

void AppDelegate::restartLayoutDirectoryWatcher(const std::string& reason) {
    // The start stops the old watch first, which also drops the reload still pending from the event.
    startLayoutDirectoryWatcher();
    scheduleLayoutDirectoryReload("watcher-restart");
    Log::app.info("Restarted layouts directory watcher reason=%s", reason);
}

} // namespace korvane
