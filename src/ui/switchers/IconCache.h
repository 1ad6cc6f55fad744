// Application icons for the switcher's tiles: each rendered once per bundle identifier, at 128 by 128,
// on a serial queue of its own, and kept in memory for every later tile of that application.
#pragma once

#include "platform/RunLoop.h"

#include <QImage>

#include <cstddef>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <unordered_map>

namespace korvane {

namespace platform {
class Platform;
} // namespace platform

// Look-ups on the main thread; rendering on the queue "com.korvane.IconCache", one request at a time in
// arrival order; the memory cache is shared by both. Requests for one key that miss before the first
// result is stored are rendered each, the last store winning.
class IconCache : public std::enable_shared_from_this<IconCache> {
  public:
    static constexpr int kSide = 128;
    // The memory holds at most 200 entries and 8 MiB at 64 KiB an entry (a 128 by 128 picture of four
    // bytes a pixel), so 128 icons; the least recently used goes first.
    static constexpr std::size_t kCountLimit = 200;
    static constexpr std::size_t kTotalCostLimit = 8388608;
    static constexpr std::size_t kEntryCost = 65536;

    explicit IconCache(platform::Platform& platform);
    IconCache(const IconCache&) = delete;
    IconCache& operator=(const IconCache&) = delete;

    // The process-wide instance, made on first use for the platform in use.
    static std::shared_ptr<IconCache> shared();
    // Installs the instance that shared() returns; nullptr lets the next shared() make a fresh one.
    static void setShared(std::shared_ptr<IconCache> instance);

    // The icon of the application with this bundle identifier (or "pid:" identifier) and process: from
    // memory at once, else rendered on the queue and handed over on the main queue. Never a null image.
    void icon(const std::string& bundleID, pid_t pid, std::function<void(const QImage&)> completion);
    // The same for an application known only by its bundle identifier (a scene's, one picked from the
    // installed ones): the first running process of that identifier, found on the queue, stands in for
    // the process, so that the picture is the one the switcher shows for its windows.
    void icon(const std::string& bundleID, std::function<void(const QImage&)> completion);
    // From the first source that gives a picture: the running process's own, the one of the application
    // installed for the bundle identifier, the desktop's generic application picture; else a drawn
    // placeholder. Any thread.
    QImage renderIcon(const std::string& bundleID, pid_t pid);

    // What memory holds for the key, without counting as a use.
    std::optional<QImage> cached(const std::string& bundleID) const;
    std::size_t cachedCount() const;

  private:
    // Without a process, the one found for the bundle identifier when rendering.
    void load(const std::string& bundleID, std::optional<pid_t> pid,
              std::function<void(const QImage&)> completion);
    void store(const std::string& key, const QImage& image);
    std::optional<QImage> lookUp(const std::string& key);

    platform::Platform& platform_;
    std::shared_ptr<platform::SerialQueue> serialQueue_;

    mutable std::mutex mutex_;                          // guards the three fields below
    std::list<std::pair<std::string, QImage>> entries_; // most recently used first
    std::unordered_map<std::string, std::list<std::pair<std::string, QImage>>::iterator> index_;
    std::size_t totalCost_ = 0;
};

} // namespace korvane
