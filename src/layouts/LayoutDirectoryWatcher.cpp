// Debounced reloads of the Layouts folder and restarts of its watch.
#include "layouts/LayoutDirectoryWatcher.h"

#include "core/Log.h"
#include "layouts/ZoneSetStore.h"

#include <filesystem>

namespace korvane {

namespace fs = std::filesystem;

namespace {

constexpr double kWatcherRestartDelay = 0.2; // seconds

} // namespace

std::shared_ptr<LayoutDirectoryWatcher>
LayoutDirectoryWatcher::create(platform::RunLoop& runLoop, platform::FolderWatcher& folders, Reload reload) {
    return std::shared_ptr<LayoutDirectoryWatcher>(
        new LayoutDirectoryWatcher(runLoop, folders, std::move(reload)));
}

LayoutDirectoryWatcher::LayoutDirectoryWatcher(platform::RunLoop& runLoop, platform::FolderWatcher& folders,
                                               Reload reload)
    : runLoop_(runLoop), folders_(folders), reload_(std::move(reload)) {}

LayoutDirectoryWatcher::~LayoutDirectoryWatcher() {
    stopLayoutDirectoryWatcher();
}

void LayoutDirectoryWatcher::startLayoutDirectoryWatcher() {
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
    auto watch = folders_.watch(folder.string(), [weak = weak_from_this()](unsigned events) {
        if (auto self = weak.lock()) self->handleLayoutDirectoryEvent(events);
    });
    if (!watch) {
        Log::app.error("Failed to watch layouts directory %s", folder.string());
        return;
    }
    layoutDirectoryWatcher = std::move(watch);
    Log::app.info("Started layouts directory watcher path=%s", folder.string());
}

void LayoutDirectoryWatcher::stopLayoutDirectoryWatcher() {
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

void LayoutDirectoryWatcher::handleLayoutDirectoryEvent(unsigned mask) {
    Log::app.debug("Layouts directory changed mask=%lu", mask);
    scheduleLayoutDirectoryReload("fs-event");
    if (mask & (platform::kFolderDelete | platform::kFolderRename | platform::kFolderRevoke))
        scheduleLayoutDirectoryWatcherRestart("fs-invalidated");
}

void LayoutDirectoryWatcher::scheduleLayoutDirectoryReload(const std::string& reason) {
    if (pendingLayoutDirectoryReloadWorkItem) pendingLayoutDirectoryReloadWorkItem->cancel();
    pendingLayoutDirectoryReloadWorkItem =
        runLoop_.postAfter(seconds(layoutDirectoryReloadDebounce), [weak = weak_from_this(), reason] {
            auto self = weak.lock();
            if (!self) return;
            const std::size_t count = self->reload_ ? self->reload_() : 0;
            Log::app.info("Layouts hot-reloaded reason=%s count=%ld", reason,
                          static_cast<std::int64_t>(count));
        });
}

void LayoutDirectoryWatcher::scheduleLayoutDirectoryWatcherRestart(const std::string& reason) {
    if (pendingLayoutDirectoryWatcherRestartWorkItem) pendingLayoutDirectoryWatcherRestartWorkItem->cancel();
    pendingLayoutDirectoryWatcherRestartWorkItem =
        runLoop_.postAfter(seconds(kWatcherRestartDelay), [weak = weak_from_this(), reason] {
            if (auto self = weak.lock()) self->restartLayoutDirectoryWatcher(reason);
        });
}

void LayoutDirectoryWatcher::restartLayoutDirectoryWatcher(const std::string& reason) {
    // The start stops the old watch first, which also drops the reload still pending from the event.
    startLayoutDirectoryWatcher();
    scheduleLayoutDirectoryReload("watcher-restart");
    Log::app.info("Restarted layouts directory watcher reason=%s", reason);
}

} // namespace korvane
