#include "core/support/FileIO.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/support/TempDir.h"

namespace vela {

// Reads, folders and successful writes are covered through the settings store and the sync.
TEST(FileIO, FailedAtomicWritesLeaveNoTemporaryBehind) {
    test::TempDir dir;
    // Renaming over a folder that is not empty fails after the temporary was written.
    std::filesystem::create_directories(dir / "occupied/child");
    EXPECT_EQ(writeFileAtomically(dir / "occupied", "x", 0600), FileWriteError::renameFailed);
    EXPECT_EQ(writeFileAtomically(dir / "missing/f", "x", 0600),
              FileWriteError::cannotCreateTemporary);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "occupied/child"));
}

}  // namespace vela
