// Atomic writes: on the disk under the temporary name before the rename, the folder after it, and the
// temporary files of writers killed mid-write removed by the next write to their folder.
#include "platform/AtomicFile.h"

#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <fstream>
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
