#include "platform/devices/AHidrawConnection.h"

#include "tests/support/ATestPaths.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

TEST(AHidrawConnection, AMissingNodeCannotBeOpenedNorRead)
{
    ATemporaryFolder folder;
    AHidrawConnection connection((folder.Path() / "hidraw9").string());
    EXPECT_FALSE(connection.Open());
    EXPECT_EQ(connection.GetReportFileDescriptor(), -1);
    EXPECT_FALSE(connection.CopyElements());
}

TEST(AHidrawConnection, OpensReadOnlyNonBlockingAndClosesOnce)
{
    ATemporaryFolder folder;
    const auto node = folder.Path() / "hidraw0";
    WriteWholeFile(node, "not a device");
    AHidrawConnection connection(node.string());
    ASSERT_TRUE(connection.Open());
    const int fd = connection.GetReportFileDescriptor();
    ASSERT_GE(fd, 0);
    const int flags = fcntl(fd, F_GETFL);
    EXPECT_EQ(flags & O_ACCMODE, O_RDONLY);
    EXPECT_NE(flags & O_NONBLOCK, 0);
    EXPECT_NE(fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
    // Not a hidraw node: the kernel hands out no report descriptor.
    EXPECT_FALSE(connection.CopyElements());
    EXPECT_FALSE(AHidrawConnection::ReadReportDescriptor(fd));

    connection.Close();
    EXPECT_EQ(connection.GetReportFileDescriptor(), -1);
    EXPECT_EQ(fcntl(fd, F_GETFD), -1);  // really closed
    connection.Close();
    EXPECT_EQ(connection.GetReportFileDescriptor(), -1);
}
