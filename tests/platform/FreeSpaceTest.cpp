#include "platform/FreeSpace.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "tests/support/TempDir.h"

namespace pg {
namespace {

TEST(FreeSpace, ReportsTheVolumeOfAPathOrTheErrno) {
    test::TempDir dir("pg-space");
    test::WriteFile(dir / "file", "x");
    VolumeSpace space;
    int error = -1;
    ASSERT_TRUE(QueryVolumeSpace(dir / "file", space, error));
    EXPECT_EQ(error, 0);
    // The same volume seen through another interface; others may write meanwhile.
    const double available =
        static_cast<double>(space.freeClusters * space.sectorsPerCluster * space.bytesPerSector);
    EXPECT_NEAR(available, static_cast<double>(std::filesystem::space(dir.Path()).available),
                256.0 * 1024 * 1024);

    EXPECT_FALSE(QueryVolumeSpace(dir / "missing", space, error));
    EXPECT_EQ(error, ENOENT);
}

}  // namespace
}  // namespace pg
