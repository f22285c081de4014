#include "core/support/FileIO.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/support/TempDir.h"

namespace vela {
namespace {

std::size_t entries(const std::filesystem::path& dir) {
    std::size_t n = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir))
        ++n;
    return n;
}

TEST(FileIO, AtomicWriteReplacesWholeFileWithRequestedMode) {
    test::TempDir dir;
    auto path = dir / "f.json";
    test::writeFile(path, "old contents that are longer");
    ASSERT_EQ(writeFileAtomically(path, "new", 0600), std::nullopt);
    EXPECT_EQ(test::readFile(path), "new");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(entries(dir.path()), 1u);  // no temporary left behind
}

TEST(FileIO, FailedWriteLeavesNoTemporaryAndKeepsTheOldFile) {
    test::TempDir dir;
    // Renaming over a non-empty folder fails after the temporary was written.
    auto target = dir / "occupied";
    std::filesystem::create_directories(target / "child");
    EXPECT_EQ(writeFileAtomically(target, "x", 0600), FileWriteError::renameFailed);
    EXPECT_EQ(entries(dir.path()), 1u);
    EXPECT_TRUE(std::filesystem::is_directory(target));
    // A folder that does not exist cannot hold the temporary.
    EXPECT_EQ(writeFileAtomically(dir / "missing" / "f", "x", 0600),
              FileWriteError::cannotCreateTemporary);
}

TEST(FileIO, ReadReportsMissingAndOversizedFiles) {
    test::TempDir dir;
    EXPECT_EQ(readWholeFile(dir / "nope", 100).error, FileReadError::notFound);
    test::writeFile(dir / "big", std::string(101, 'x'));
    auto big = readWholeFile(dir / "big", 100);
    EXPECT_FALSE(big.bytes);
    EXPECT_EQ(big.error, FileReadError::tooLarge);
    auto ok = readWholeFile(dir / "big", 101);
    ASSERT_TRUE(ok.bytes);
    EXPECT_EQ(ok.bytes->size(), 101u);
}

TEST(FileIO, CreateDirectoriesMakesMissingParentsWithMode) {
    test::TempDir dir;
    auto deep = dir / "a" / "b" / "c";
    ASSERT_TRUE(createDirectories(deep, 0700));
    struct stat st {};
    ASSERT_EQ(::stat(deep.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_TRUE(createDirectories(deep, 0700));  // existing folder is fine
    test::writeFile(dir / "file", "x");
    EXPECT_FALSE(createDirectories(dir / "file", 0700));
}

}  // namespace
}  // namespace vela
