#include "platform/devices/AHidrawConnection.h"

#include "tests/support/ATestPaths.h"

#include <gtest/gtest.h>

#include <fcntl.h>

TEST(AHidrawConnection, OpensReadOnlyNonBlockingClosesOnceAndGetsNoElementsFromWhatIsNoHidrawNode)
{
    ATemporaryFolder folder;
    AHidrawConnection missing((folder.Path() / "hidraw9").string());
    EXPECT_FALSE(missing.Open() || missing.GetReportFileDescriptor() != -1 || missing.CopyElements());
    WriteWholeFile(folder.Path() / "hidraw0", "not a device");
    AHidrawConnection connection((folder.Path() / "hidraw0").string());
    ASSERT_TRUE(connection.Open());
    const int fd = connection.GetReportFileDescriptor();
    EXPECT_EQ(fcntl(fd, F_GETFL) & (O_ACCMODE | O_NONBLOCK), O_RDONLY | O_NONBLOCK);
    EXPECT_NE(fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
    // The kernel hands out no report descriptor for a plain file.
    EXPECT_FALSE(connection.CopyElements() || AHidrawConnection::ReadReportDescriptor(fd));
    for (int i = 0; i < 2; ++i) {
        connection.Close();
        EXPECT_EQ(connection.GetReportFileDescriptor(), -1);
    }
    EXPECT_EQ(fcntl(fd, F_GETFD), -1) << "really closed";
}
