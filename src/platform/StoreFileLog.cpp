// Keeping an unreadable store file before it is written over, and naming a file that cannot be read or
// written once per cause.
#include "platform/StoreFileLog.h"

#include "platform/AtomicFile.h"
#include "platform/Logger.h"

#include <map>
#include <mutex>
#include <system_error>
#include <utility>

namespace korvane {

namespace fs = std::filesystem;

namespace {

void logKept(const platform::Logger& log, const fs::path& path, const fs::path& kept,
             const std::string& why) {
    log.error("Kept unreadable %{public}s as %{public}s before writing it again: it %{public}s",
              path.string(), kept.string(), why);
}

// The reason a write failed, in words that follow "Could not write <path>: ". The same failure gives the
// same words each time: they are what tells one cause from another.
std::string describeWriteFailure(const std::exception& failure) {
    if (const auto* fileError = dynamic_cast<const fs::filesystem_error*>(&failure)) {
        // A second path is the copy or the new name of the unreadable file: keeping it failed, and with it
        // the write, which would have destroyed the only copy of its bytes.
        if (!fileError->path2().empty())
            return "its unreadable bytes could not be kept aside (" + fileError->code().message() + ")";
        return fileError->code().message();
    }
    if (const auto* systemError = dynamic_cast<const std::system_error*>(&failure))
        return systemError->code().message();
    return failure.what();
}

// What was last said of each file that could not be read or written, by file and operation. The stores
// read and write through static operations and value records that are copied about, so it is remembered
// here, by the file, for the whole process.
class SaidOfFiles {
  public:
    enum class Operation { read, write };
    // Whether `reason` differs from what was last said of `operation` on `path`; remembers it.
    bool isNewCause(Operation operation, const fs::path& path, const std::string& reason) {
        std::lock_guard lock(mutex_);
        auto [it, inserted] = reasons_.try_emplace({operation, path.lexically_normal()}, reason);
        if (inserted) return true;
        if (it->second == reason) return false;
        it->second = reason;
        return true;
    }
    void forget(Operation operation, const fs::path& path) {
        std::lock_guard lock(mutex_);
        reasons_.erase({operation, path.lexically_normal()});
    }

  private:
    std::mutex mutex_;
    std::map<std::pair<Operation, fs::path>, std::string> reasons_;
};

SaidOfFiles& saidOfFiles() {
    static SaidOfFiles said;
    return said;
}

} // namespace

void keepUnreadableFileBeforeWriting(const fs::path& path,
                                     const std::function<bool(std::string bytes)>& readable,
                                     const platform::Logger& log) {
    using State = StoreFile::State;
    StoreFile existing = readStoreFile(path);
    switch (existing.state) {
    case State::missing:
        return;
    case State::read:
        if (existing.bytes.empty() || readable(std::move(existing.bytes))) return;
        logKept(log, path, preserveUnreadableFile(path), "does not decode");
        return;
    case State::tooLarge:
        logKept(log, path, preserveUnreadableFile(path), describeUnreadFile(existing));
        return;
    case State::failed:
        // Its bytes were never read, so nothing shows they are not the user's; a rename keeps them
        // without reading them.
        logKept(log, path, moveUnreadableFileAside(path), describeUnreadFile(existing));
        return;
    case State::notRegular:
        // Nothing to keep: its bytes are not the file's. After the write a regular file is there, so
        // this is said once.
        if (existing.type == fs::file_type::directory) return;
        log.error("%{public}s %{public}s: writing a regular file in its place", path.string(),
                  describeUnreadFile(existing));
        return;
    }
}

void logFailedWrite(const fs::path& path, const std::exception& failure, const platform::Logger& log) {
    const std::string reason = describeWriteFailure(failure);
    if (!saidOfFiles().isNewCause(SaidOfFiles::Operation::write, path, reason)) return;
    log.error("Could not write %{public}s: %{public}s", path.string(), reason);
}

void noteSucceededWrite(const fs::path& path) {
    saidOfFiles().forget(SaidOfFiles::Operation::write, path);
}

void logUnreadableFile(const fs::path& path, const std::string& why, const std::string& consequence,
                       const platform::Logger& log) {
    if (!saidOfFiles().isNewCause(SaidOfFiles::Operation::read, path, why)) return;
    log.error("Could not read %{public}s: it %{public}s; %{public}s", path.string(), why, consequence);
}

void noteReadableFile(const fs::path& path) {
    saidOfFiles().forget(SaidOfFiles::Operation::read, path);
}

} // namespace korvane
