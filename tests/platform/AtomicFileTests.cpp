// Atomic writes: on the disk under the temporary name before the rename, the folder after it, and the
// temporary files of writers killed mid-write removed by the next write to their folder.
#include "platform/AtomicFile.h"

#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace korvane;
using korvane::testing::TempFolder;
namespace fs = std::filesystem;

namespace {

std::vector<std::string>* synced = nullptr; // what fsync reached while a test listens

} // namespace

// Stands in for the C library's fsync in this program: notes what the descriptor names, then syncs.
extern "C" int fsync(int fd) {
    if (synced) synced->push_back(fs::read_symlink("/proc/self/fd/" + std::to_string(fd)).string());
    return static_cast<int>(::syscall(SYS_fsync, fd));
}

TEST(AtomicFile, theFileReachesTheDiskUnderItsTemporaryNameAndThenTheFolder) {
    TempFolder tmp;
    const fs::path folder = fs::canonical(tmp.path());
    std::vector<std::string> calls;
    synced = &calls;
    writeFileAtomically(folder / "layouts.json", "{}");
    synced = nullptr;
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_TRUE(calls[0].starts_with((folder / ".layouts.json.tmp-").string())) << calls[0];
    EXPECT_EQ(calls[1], folder.string());
}

// After a power loss the kept copy may be all there is of the user's bytes: it is on the disk, and its
// name in the folder, before the replacement is even written.
TEST(AtomicFile, aKeptCopyReachesTheDiskWithItsFolderBeforeTheFileIsWrittenOver) {
    TempFolder tmp;
    const fs::path folder = fs::canonical(tmp.path());
    std::ofstream(folder / "scenes.json") << "{broken";
    std::vector<std::string> calls;
    synced = &calls;
    const fs::path copy = preserveUnreadableFile(folder / "scenes.json");
    writeFileAtomically(folder / "scenes.json", "{}");
    synced = nullptr;
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0], copy.string());
    EXPECT_EQ(calls[1], folder.string());
    EXPECT_TRUE(calls[2].starts_with((folder / ".scenes.json.tmp-").string())) << calls[2];
}

TEST(AtomicFile, aStoreFileIsReadOnlyWhenRegularAndAtMostSixteenMegabytes) {
    TempFolder tmp;
    const fs::path folder = tmp.path();
    const auto sized = [&](const char* name, std::uintmax_t size) {
        std::ofstream(folder / name) << "";
        fs::resize_file(folder / name, size); // sparse: made at once
        return folder / name;
    };
    std::ofstream(folder / "small.json") << "{}";
    fs::create_directories(folder / "folder.json");
    // A FIFO without a writer: opening it to read would wait for ever.
    ASSERT_EQ(::mkfifo((folder / "fifo.json").c_str(), 0600), 0);
    using State = StoreFile::State;
    const std::pair<fs::path, State> rows[] = {
        {folder / "small.json", State::read},
        {sized("limit.json", kMaxStoreFileSize), State::read},
        {sized("over.json", kMaxStoreFileSize + 1), State::tooLarge},
        {folder / "absent.json", State::missing},
        {folder / "small.json/inside", State::missing},
        {folder / "folder.json", State::notRegular},
        {folder / "fifo.json", State::notRegular},
    };
    for (const auto& [path, state] : rows) {
        const StoreFile file = readStoreFile(path);
        EXPECT_EQ(file.state, state) << path;
        EXPECT_EQ(file.bytes.size(), state == State::read ? fs::file_size(path) : 0u) << path;
        EXPECT_EQ(readFileIfPresent(path).has_value(), state == State::read) << path;
    }
}

TEST(AtomicFile, theNextWriteToAFolderRemovesItsOwnTemporariesOverAMinuteOld) {
    TempFolder tmp;
    const struct {
        const char* name;
        int age; // seconds
        bool stays;
    } rows[] = {
        {".scenes.json.tmp-1f2e3d4c5b6a7988-3", 61, false},
        {".fresh.json.tmp-1f2e-4", 30, true}, // its write may still be under way
        {"report.json.tmp-1f-2", 3600, true},
        {".a.json.tmp-1f-2.bak", 3600, true},
        {".notes.tmp-xyz-1", 3600, true},
    };
    for (const auto& row : rows) {
        std::ofstream(tmp.path() / row.name) << "partial";
        fs::last_write_time(tmp.path() / row.name,
                            fs::file_time_type::clock::now() - std::chrono::seconds(row.age));
    }
    writeFileAtomically(tmp.path() / "other.json", "{}");
    for (const auto& row : rows)
        EXPECT_EQ(fs::exists(tmp.path() / row.name), row.stays) << row.name;
}
