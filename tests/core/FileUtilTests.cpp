// Atomic writes, the copies of unreadable files beside the original, and safe file identifiers.
#include "core/FileUtil.h"

#include "platform/sim/SimDesktop.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <unistd.h>

using namespace korvane;
using korvane::sim::ScopedSimDesktop;
using korvane::testing::TempFolder;
namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> names(const fs::path& dir) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir))
        out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace

TEST(WriteFileAtomically, createsAndReplacesLeavingNoTemporaryFile) {
    TempFolder tmp;
    fs::path target = tmp.path() / "layouts.json";
    writeFileAtomically(target, "{\"a\":1}");
    EXPECT_EQ(readFile(target), "{\"a\":1}");
    std::string binary("x\0y\n", 4);
    writeFileAtomically(target, binary);
    EXPECT_EQ(readFile(target), binary);
    writeFileAtomically(target, "");
    EXPECT_EQ(readFile(target), "");
    EXPECT_EQ(names(tmp.path()), (std::vector<std::string>{"layouts.json"}));
}

TEST(WriteFileAtomically, failureLeavesTheOldFileAndNoTemporary) {
    TempFolder tmp;
    EXPECT_THROW(writeFileAtomically(tmp.path() / "missing/file.json", "x"), fs::filesystem_error);
    EXPECT_TRUE(names(tmp.path()).empty());

    // Renaming a file over a folder fails after the temporary file was written.
    fs::create_directories(tmp.path() / "dir.json/inside");
    EXPECT_THROW(writeFileAtomically(tmp.path() / "dir.json", "x"), fs::filesystem_error);
    EXPECT_EQ(names(tmp.path()), (std::vector<std::string>{"dir.json"}));

    if (::geteuid() != 0) {
        fs::path target = tmp.path() / "kept.json";
        writeFileAtomically(target, "old");
        fs::permissions(tmp.path(), fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_THROW(writeFileAtomically(target, "new"), fs::filesystem_error);
        fs::permissions(tmp.path(), fs::perms::owner_all);
        EXPECT_EQ(readFile(target), "old");
    }
}

TEST(PreserveUnreadableFile, copiesBesideTheOriginalWithAUTCStamp) {
    TempFolder tmp;
    ScopedSimDesktop platform; // wall clock 1780000000 s
    fs::path original = tmp.path() / "scenes.json";
    std::ofstream(original) << "{broken";

    fs::path first = preserveUnreadableFile(original);
    EXPECT_EQ(first, tmp.path() / "scenes.json.unreadable-2026-05-28T20:26:40Z");
    EXPECT_EQ(readFile(first), "{broken");
    EXPECT_EQ(readFile(original), "{broken") << "the original stays until it is written over";

    // The same second again keeps both copies.
    fs::path second = preserveUnreadableFile(original);
    EXPECT_EQ(second, tmp.path() / "scenes.json.unreadable-2026-05-28T20:26:40Z-2");

    platform->loop().advance(kNanosPerSecond * 61);
    EXPECT_EQ(preserveUnreadableFile(original), tmp.path() / "scenes.json.unreadable-2026-05-28T20:27:41Z");
    EXPECT_THROW(preserveUnreadableFile(tmp.path() / "absent.json"), fs::filesystem_error);
    EXPECT_EQ(names(tmp.path()).size(), 4u);
}

TEST(IsSafeFileIdentifier, refusesWhatCouldLeaveTheFolder) {
    struct Row {
        std::string id;
        bool safe;
    };
    const std::vector<Row> rows = {
        {"layout.1234abcd", true},
        {"user.new.1765176035", true},
        {"...", true},
        {"..x", true},
        {"Zone \xC3\xA9t\xC3\xA9", true}, // accented letters
        {"\xC2\xA0nbsp", true},           // U+00A0 is a space, not a control character
        {"", false},
        {".", false},
        {"..", false},
        {"../x", false},
        {"a/b", false},
        {"/abs", false},
        {"a\\b", false},
        {std::string("nul\0x", 5), false},
        {"tab\t", false},
        {"line\n", false},
        {"del\x7F", false},
        {"c1\xC2\x80", false},
        {"c1\xC2\x9F", false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(isSafeFileIdentifier(row.id), row.safe) << "[" << row.id << "]";
}
