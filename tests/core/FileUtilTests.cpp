// Atomic writes, the copies of unreadable files beside the original (or the files themselves, moved
// aside, when their bytes cannot be read), and safe file identifiers.
#include "core/FileUtil.h"

#include "support/FileModesHonoured.h"
#include "support/SupportFolderFixture.h"

#include <unistd.h>

using namespace korvane;
using korvane::testing::SupportFolderTest;
namespace fs = std::filesystem;
using Names = std::vector<std::string>;

namespace {

class FileUtilTest : public SupportFolderTest {};

TEST_F(FileUtilTest, atomicWritesCreateAndReplaceLeavingNoTemporaryFile) {
    const fs::path target = home / "layouts.json";
    for (const std::string& text : {std::string("{\"a\":1}"), std::string("x\0y\n", 4), std::string()}) {
        writeFileAtomically(target, text);
        EXPECT_EQ(read(target), text);
    }
    EXPECT_EQ(snapshot(home).size(), 1u) << "no temporary file";
}

TEST_F(FileUtilTest, aFailedAtomicWriteLeavesTheOldFileAndNoTemporary) {
    EXPECT_THROW(writeFileAtomically(home / "missing/file.json", "x"), fs::filesystem_error);
    // Renaming a file over a folder fails after the temporary file was written.
    fs::create_directories(home / "dir.json/inside");
    EXPECT_THROW(writeFileAtomically(home / "dir.json", "x"), fs::filesystem_error);
    EXPECT_TRUE(snapshot(home).empty()) << "no temporary file";

    if (::geteuid() != 0) {
        writeFileAtomically(home / "kept.json", "old");
        fs::permissions(home, fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_THROW(writeFileAtomically(home / "kept.json", "new"), fs::filesystem_error);
        fs::permissions(home, fs::perms::owner_all);
        EXPECT_EQ(read(home / "kept.json"), "old");
    }
}

TEST_F(FileUtilTest, unreadableFilesAreCopiedBesideTheOriginalWithAUTCStamp) {
    const fs::path original = home / "scenes.json"; // the sim's wall clock starts at 2026-05-28T20:26:40Z
    write(original, "{broken");
    const fs::path first = preserveUnreadableFile(original);
    EXPECT_EQ(first, home / "scenes.json.unreadable-2026-05-28T20:26:40Z");
    EXPECT_EQ(read(first), "{broken");
    EXPECT_EQ(read(original), "{broken") << "the original stays until it is written over";

    // The same second again keeps both copies.
    EXPECT_EQ(preserveUnreadableFile(original), home / "scenes.json.unreadable-2026-05-28T20:26:40Z-2");
    desktop->loop().advance(kNanosPerSecond * 61);
    EXPECT_EQ(preserveUnreadableFile(original), home / "scenes.json.unreadable-2026-05-28T20:27:41Z");
    EXPECT_THROW(preserveUnreadableFile(home / "absent.json"), fs::filesystem_error);
    EXPECT_EQ(snapshot(home).size(), 4u);
}

// A file whose bytes cannot be read cannot be copied; it is renamed aside instead, and a rename must not
// land on a file kept earlier in the same second.
TEST_F(FileUtilTest, filesThatCannotBeCopiedAreMovedAsideNeverOverAnotherKeptFile) {
    const fs::path original = home / "scenes.json";
    const std::string kept = "scenes.json.unreadable-2026-05-28T20:26:40Z";
    for (const auto& [bytes, name] : {std::pair{"first", kept}, std::pair{"second", kept + "-2"}}) {
        write(original, bytes);
        fs::permissions(original, fs::perms::none);
        korvane::testing::ScopedFileModesHonoured asTheirOwnerSeesThem;
        EXPECT_THROW(preserveUnreadableFile(original), fs::filesystem_error);
        EXPECT_EQ(moveUnreadableFileAside(original), home / name);
    }
    EXPECT_EQ(snapshot(home), (std::map<std::string, std::string>{{kept, "first"}, {kept + "-2", "second"}}));
    EXPECT_THROW(moveUnreadableFileAside(original), fs::filesystem_error) << "nothing left to move";
}

TEST(IsSafeFileIdentifier, refusesWhatCouldLeaveTheFolder) {
    // Accented letters are fine, and so is U+00A0: a space, not a control character.
    for (const std::string id :
         {"layout.1234abcd", "user.new.1765176035", "...", "..x", "Zone \xC3\xA9t\xC3\xA9", "\xC2\xA0nbsp"})
        EXPECT_TRUE(isSafeFileIdentifier(id)) << id;
    for (const std::string& id : Names{std::string("nul\0x", 5), "", ".", "..", "../x", "a/b", "/abs", "a\\b",
                                       "tab\t", "line\n", "del\x7F", "c1\xC2\x80", "c1\xC2\x9F"})
        EXPECT_FALSE(isSafeFileIdentifier(id)) << "[" << id << "]";
}

} // namespace
