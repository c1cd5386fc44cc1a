// Replacing a file through a temporary file: what is kept of the old file, what is refused, and
// that nothing is left behind.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/AtomicFile.h"
#include "tests/TestSupport.h"

namespace odomei {
namespace {

using test::ReadBytes;

std::vector<std::string> FilesIn(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(AtomicReplace, KeepsModeOwnerAndGroupOfTheFileReplaced) {
    test::TempDir dir;
    const std::string path = dir.File("shared.csv");
    test::WriteBytes(path, "old");
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    const bool root = geteuid() == 0;
    // As root, a file of another user and group keeps them; otherwise the saver's own stay.
    const uid_t owner = root ? 1234 : geteuid();
    const gid_t group = root ? 2345 : getegid();
    if (root) {
        ASSERT_EQ(chown(path.c_str(), owner, group), 0);
    }
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    Failure failure;
    ASSERT_EQ(ReplaceFileAtomically(path, "new", &failure), ReplaceResult::kDone)
        << failure.reason.en;
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_uid, owner);
    EXPECT_EQ(st.st_gid, group);
    EXPECT_EQ(ReadBytes(path), "new");
    EXPECT_EQ(FilesIn(dir.Path()), std::vector<std::string>{"shared.csv"});
}

TEST(AtomicReplace, ANameAtTheLengthLimitCanBeSaved) {
    test::TempDir dir;
    const std::string name = std::string(250, 'a') + ".csv";  // 254 bytes: a valid name
    Failure failure;
    ASSERT_EQ(ReplaceFileAtomically(dir.File(name), "first", &failure), ReplaceResult::kDone)
        << failure.reason.en;
    ASSERT_EQ(ReplaceFileAtomically(dir.File(name), "second", &failure), ReplaceResult::kDone)
        << failure.reason.en;
    EXPECT_EQ(ReadBytes(dir.File(name)), "second");
    EXPECT_EQ(FilesIn(dir.Path()), std::vector<std::string>{name});
}

TEST(AtomicReplace, ALinkStaysALinkEvenWhenItsTargetDoesNotExistYet) {
    test::TempDir dir;
    std::filesystem::create_directory(dir.File("real"));
    ASSERT_EQ(symlink("real/history.csv", dir.File("history.csv").c_str()), 0);
    ASSERT_EQ(symlink("history.csv", dir.File("again.csv").c_str()), 0);  // a chain
    Failure failure;
    ASSERT_EQ(ReplaceFileAtomically(dir.File("again.csv"), "rows", &failure), ReplaceResult::kDone)
        << failure.reason.en;
    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("history.csv")));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("again.csv")));
    EXPECT_EQ(ReadBytes(dir.File("real/history.csv")), "rows");
    EXPECT_EQ(FilesIn(dir.File("real")), std::vector<std::string>{"history.csv"});
}

TEST(AtomicReplace, AReadOnlyFileOrAFolderIsNotReplaced) {
    test::TempDir dir;
    const std::string path = dir.File("kept.csv");
    test::WriteBytes(path, "keep me");
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    Failure failure;
    EXPECT_EQ(ReplaceFileAtomically(path, "lost", &failure), ReplaceResult::kCreateFailed);
    EXPECT_EQ(failure.subject, path);
    EXPECT_NE(failure.reason.en.find("read-only"), std::string::npos) << failure.reason.en;
    EXPECT_EQ(ReadBytes(path), "keep me");

    std::filesystem::create_directory(dir.File("folder.csv"));
    EXPECT_EQ(ReplaceFileAtomically(dir.File("folder.csv"), "x", &failure),
              ReplaceResult::kCreateFailed);
    EXPECT_NE(failure.reason.en.find("not a regular file"), std::string::npos) << failure.reason.en;
    EXPECT_EQ(FilesIn(dir.Path()), (std::vector<std::string>{"folder.csv", "kept.csv"}));
}

}  // namespace
}  // namespace odomei
