// One inotify descriptor per watch, read on the main thread when the run loop sees it readable.
#include "platform/x11/X11FolderWatcher.h"

#include "platform/x11/X11RunLoop.h"

#include <cerrno>
#include <filesystem>
#include <sys/inotify.h>
#include <unistd.h>

namespace korvane::x11 {

using namespace platform;

namespace {

constexpr std::uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MODIFY |
                                     IN_CLOSE_WRITE | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

struct WatchState {
    int fd = -1;
    bool active = true; // main thread, or under the owner's control before the first event
    std::function<void(unsigned)> handler;
    std::unique_ptr<DescriptorWatch> readable;

    void stop() {
        active = false;
        readable.reset();
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
};

class FolderWatchImpl final : public FolderWatch {
  public:
    explicit FolderWatchImpl(std::shared_ptr<WatchState> state) : state_(std::move(state)) {}
    ~FolderWatchImpl() override { cancel(); }
    void cancel() override { state_->stop(); }
    bool isActive() const override { return state_->active; }

  private:
    std::shared_ptr<WatchState> state_;
};

void readEvents(const std::shared_ptr<WatchState>& state) {
    if (!state->active || state->fd < 0) return;
    unsigned events = 0;
    bool gone = false;
    alignas(inotify_event) char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(state->fd, buffer, sizeof buffer);
        if (n <= 0) break; // EAGAIN: all read
        for (ssize_t offset = 0; offset < n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buffer + offset);
            events |= X11FolderWatcher::translate(e->mask);
            if (e->mask & IN_IGNORED) gone = true;
            offset += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
        }
    }
    // The kernel dropped the watch (folder deleted, file system unmounted): nothing more will come.
    if (gone) state->stop();
    if (events && state->handler) {
        auto handler = state->handler; // the handler may cancel the watch
        handler(events);
    }
}

} // namespace

unsigned X11FolderWatcher::translate(std::uint32_t mask) {
    unsigned out = 0;
    if (mask & (IN_CREATE | IN_MOVED_TO)) out |= kFolderWrite | kFolderExtend;
    if (mask & (IN_DELETE | IN_MOVED_FROM | IN_MODIFY | IN_CLOSE_WRITE)) out |= kFolderWrite;
    if (mask & IN_ATTRIB) out |= kFolderAttrib;
    if (mask & IN_DELETE_SELF) out |= kFolderDelete;
    if (mask & IN_MOVE_SELF) out |= kFolderRename;
    if (mask & (IN_IGNORED | IN_UNMOUNT)) out |= kFolderRevoke;
    return out;
}

std::unique_ptr<FolderWatch> X11FolderWatcher::watch(const std::string& path,
                                                     std::function<void(unsigned)> handler) {
    std::error_code ec;
    if (!std::filesystem::is_directory(path, ec)) return nullptr;
    const int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0) return nullptr;
    if (::inotify_add_watch(fd, path.c_str(), kWatchMask) < 0) {
        ::close(fd);
        return nullptr;
    }
    auto state = std::make_shared<WatchState>();
    state->fd = fd;
    state->handler = std::move(handler);
    std::weak_ptr<WatchState> weak = state;
    state->readable = loop_.watchDescriptor(fd, [weak] {
        if (auto s = weak.lock()) readEvents(s);
    });
    return std::make_unique<FolderWatchImpl>(state);
}

} // namespace korvane::x11
