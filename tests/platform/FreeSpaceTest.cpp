#include "platform/FreeSpace.h"

#include <gtest/gtest.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <filesystem>

#include "tests/support/TempDir.h"

namespace pg {
namespace {

TEST(FreeSpace, MatchesTheVolumeOfATempDirectory) {
    test::TempDir dir("pg-space");
    VolumeSpace space;
    int error = -1;
    ASSERT_TRUE(QueryVolumeSpace(dir.Path(), space, error));
    EXPECT_EQ(error, 0);
    EXPECT_EQ(space.sectorsPerCluster, 1u);
    ASSERT_GT(space.bytesPerSector, 0u);
    EXPECT_EQ(space.bytesPerSector & (space.bytesPerSector - 1), 0u) << "a power of two";

    // The same volume seen through another interface; others may write meanwhile, so allow
    // for some drift.
    const std::filesystem::space_info info = std::filesystem::space(dir.Path());
    const double available = static_cast<double>(space.freeClusters * space.bytesPerSector);
    EXPECT_LE(available, static_cast<double>(info.capacity));
    EXPECT_NEAR(available, static_cast<double>(info.available), 256.0 * 1024 * 1024);

    // A file names its volume as well as a directory does.
    test::WriteFile(dir / "file", "x");
    VolumeSpace fileSpace;
    ASSERT_TRUE(QueryVolumeSpace(dir / "file", fileSpace, error));
    EXPECT_EQ(fileSpace.bytesPerSector, space.bytesPerSector);
}

TEST(FreeSpace, MissingPathFails) {
    test::TempDir dir("pg-space");
    VolumeSpace space;
    int error = 0;
    EXPECT_FALSE(QueryVolumeSpace(dir / "missing", space, error));
    EXPECT_EQ(error, ENOENT);
    test::WriteFile(dir / "file", "x");
    EXPECT_FALSE(QueryVolumeSpace(dir / "file/below", space, error));
    EXPECT_EQ(error, ENOTDIR);
}

}  // namespace
}  // namespace pg
