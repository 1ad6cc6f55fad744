// What the kernel saw happen to the files of some folders (inotify), for tests that must tell which
// files the code opened, in what order, and how often it wrote each: the files' contents alone cannot
// show a file read, nor a second write of the same bytes.
#pragma once

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace korvane::testing {

class FileEvents {
  public:
    // Watches each folder itself, not the folders below it, from now on.
    explicit FileEvents(const std::vector<std::filesystem::path>& folders) {
        fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (fd_ < 0) throw std::runtime_error("inotify_init1 failed");
        for (const auto& folder : folders) {
            const int wd = ::inotify_add_watch(fd_, folder.c_str(), IN_OPEN | IN_CLOSE_WRITE | IN_MOVED_TO);
            if (wd < 0) throw std::runtime_error("cannot watch " + folder.string());
            folders_[wd] = folder;
        }
    }
    ~FileEvents() { ::close(fd_); }
    FileEvents(const FileEvents&) = delete;
    FileEvents& operator=(const FileEvents&) = delete;

    // Each opening of a file (or of a watched folder itself, to list it) since the last take, in order.
    std::vector<std::filesystem::path> opened() {
        drain();
        return std::exchange(opened_, {});
    }

    // How often each file that exists now was written since the last take: closed after being opened
    // for writing, or put in place by a rename. An atomic write counts once, for its target: the
    // temporary file it wrote first is gone by then.
    std::map<std::filesystem::path, int> written() {
        drain();
        std::map<std::filesystem::path, int> existing;
        for (const auto& [path, count] : std::exchange(written_, {}))
            if (std::filesystem::exists(path)) existing[path] = count;
        return existing;
    }

  private:
    // The kernel queues an event within the call that causes it, so everything done so far is queued.
    void drain() {
        alignas(inotify_event) char buffer[16384];
        for (;;) {
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            for (ssize_t at = 0; at < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
                auto folder = folders_.find(event->wd);
                if (folder == folders_.end()) continue;
                const std::filesystem::path path = event->len ? folder->second / event->name : folder->second;
                if (event->mask & IN_OPEN) opened_.push_back(path);
                if (event->mask & (IN_CLOSE_WRITE | IN_MOVED_TO)) ++written_[path];
            }
        }
    }

    int fd_ = -1;
    std::map<int, std::filesystem::path> folders_;
    std::vector<std::filesystem::path> opened_;
    std::map<std::filesystem::path, int> written_;
};

} // namespace korvane::testing
