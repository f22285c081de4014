#include "core/support/FileIO.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <set>

#include "tests/support/TempDir.h"

namespace vela {
namespace {

mode_t modeOf(const std::filesystem::path& p) {
    struct stat st {};
    EXPECT_EQ(::stat(p.c_str(), &st), 0) << p;
    return st.st_mode & 0777;
}

TEST(FileIO, AtomicWritesReplaceTheWholeFileOrLeaveNoTrace) {
    test::TempDir dir;
    test::writeFile(dir / "f.json", "old contents that are longer");
    EXPECT_EQ(writeFileAtomically(dir / "f.json", "new", 0640), std::nullopt);
    EXPECT_EQ(test::readFile(dir / "f.json"), "new");
    EXPECT_EQ(modeOf(dir / "f.json"), 0640u);
    // Renaming over a folder that is not empty fails after the temporary was written.
    std::filesystem::create_directories(dir / "occupied/child");
    EXPECT_EQ(writeFileAtomically(dir / "occupied", "x", 0600), FileWriteError::renameFailed);
    EXPECT_EQ(writeFileAtomically(dir / "missing/f", "x", 0600),
              FileWriteError::cannotCreateTemporary);
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        names.insert(e.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{"f.json", "occupied"}));
}

TEST(FileIO, ReadsAreBoundedAndFoldersAreMadeWithTheirParents) {
    test::TempDir dir;
    EXPECT_EQ(readWholeFile(dir / "nope", 100).error, FileReadError::notFound);
    test::writeFile(dir / "big", std::string(101, 'x'));
    const FileReadResult tooLarge = readWholeFile(dir / "big", 100);
    EXPECT_EQ(tooLarge.bytes, std::nullopt);
    EXPECT_EQ(tooLarge.error, FileReadError::tooLarge);
    EXPECT_EQ(readWholeFile(dir / "big", 101).bytes, std::string(101, 'x'));
    EXPECT_TRUE(createDirectories(dir / "a/b/c", 0700));
    EXPECT_EQ(modeOf(dir / "a/b/c"), 0700u);
    EXPECT_EQ(modeOf(dir / "a"), 0700u);
    EXPECT_TRUE(createDirectories(dir / "a/b/c", 0700));  // an existing folder is fine
    EXPECT_FALSE(createDirectories(dir / "big", 0700));
}

}  // namespace
}  // namespace vela
