// Writing "mapping.xml": the layout of the file, the round trip of every
// field, and the replacement of the file as a whole.

#include "prefs/AException.h"
#include "prefs/APrefController.h"
#include "tests/prefs/APrefsTestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

class AMappingWriteTest : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directories(fHome.StoreFolder()); }

    std::string WrittenFile() const { return ReadWholeFile(fHome.MappingPath()); }

    AConfigHome fHome;
};

TEST_F(AMappingWriteTest, TheFileIsIndentedOneElementPerLineWithADeclaration)
{
    std::filesystem::copy_file(FixturePath("prefs/example.xml"), fHome.MappingPath());
    APrefController store;
    store.FlushXml();
    EXPECT_EQ(WrittenFile(), ReadWholeFile(FixturePath("prefs/example-written.xml")));
}

TEST_F(AMappingWriteTest, AnEmptyStoreWritesOnlyTheRoot)
{
    APrefController store;
    EXPECT_FALSE(std::filesystem::exists(fHome.MappingPath()));
    store.FlushXml();
    EXPECT_EQ(WrittenFile(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<devices></devices>\n");
}

TEST_F(AMappingWriteTest, EveryFieldAndArgumentReadsBackUnchanged)
{
    const std::string arguments[] = {
        "55|56|20|56|55",
        "/home/me/My Scripts/a&b <c> \"d\" 'e'.sh",
        "&amp; &lt; ]]> <!-- --> <?pi?>",
        "tab\there, line\nend, return\rhere, bell\x07, escape\x1B",
        "  leading and trailing blanks  ",
        "caf\xC3\xA9 \xE2\x98\xBA \xF0\x9F\x96\xB1",
        "not UTF-8: \xFF\xFE\xC3",
        std::string(10000, 'x'),
    };
    APrefController store;
    store.AddOrUpdateDevice(kDeviceRFMouse, 0xFFFFFFFFu, 0x80000000u, -1);
    store.AddOrUpdateDevice(kDeviceBTMouse, kVendorID, 1002, 0);
    store.AddOrUpdateDevice(kDevicePresenter, kVendorID, 2001, 1);
    int32_t id = -2;
    for (const std::string& argument : arguments) {
        store.AddOrUpdateEvent(kDeviceBTMouse, id, (id + 10) % 5, argument);
        ++id;
    }
    store.AddOrUpdateEvent(kDevicePresenter, INT32_MIN, kLaunchPredefinedKeys, "13");
    store.AddOrUpdateEvent(kDevicePresenter, INT32_MAX, kLaunchDefault, std::nullopt);
    store.FlushXml();

    APrefController reread;
    EXPECT_EQ(DescribeStore(reread), DescribeStore(store));
    for (const auto& [buttonId, event] : store.GetDevice(kDeviceBTMouse)->GetEvents())
        EXPECT_EQ(reread.GetEvent(kDeviceBTMouse, buttonId)->GetLaunchArg(), event.GetLaunchArg());
}

TEST_F(AMappingWriteTest, ATypeThatOccursTwiceInTheFileIsWrittenOnce)
{
    std::filesystem::copy_file(FixturePath("prefs/duplicates.xml"), fHome.MappingPath());
    APrefController store;
    store.FlushXml();
    const std::string written = WrittenFile();
    size_t devices = 0;
    for (size_t at = written.find("<device "); at != std::string::npos; at = written.find("<device ", at + 1))
        ++devices;
    EXPECT_EQ(devices, 2u);
    EXPECT_EQ(DescribeStore(APrefController()), "0 8 0 0:\n1 2 1002 1: 4/3/55|8\n");
}

TEST_F(AMappingWriteTest, TheFileIsRewrittenFromTheRecordsAloneNeverMerged)
{
    std::filesystem::copy_file(FixturePath("prefs/example.xml"), fHome.MappingPath());
    APrefController store;
    WriteWholeFile(fHome.MappingPath(), "<devices><device device_type=\"rfmouse\"/></devices>");
    store.RemoveDevice(kDevicePresenter);
    store.FlushXml();
    EXPECT_EQ(DescribeStore(APrefController()), "1 65261 1002 0: 4/1//Library/Scripts/Back.scpt 5/3/55|8\n");
}

TEST_F(AMappingWriteTest, TheReplacementLeavesNoTemporaryFileAndKeepsTheFilesPermissions)
{
    APrefController store;
    store.AddOrUpdateDevice(kDeviceBTMouse, kVendorID, 1002, 0);
    store.FlushXml();
    EXPECT_EQ(ListFolder(fHome.StoreFolder()), "mapping.xml");
    struct stat status {};
    ASSERT_EQ(stat(fHome.MappingPath().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0600u);

    ASSERT_EQ(chmod(fHome.MappingPath().c_str(), 0644), 0);
    store.FlushXml();
    ASSERT_EQ(stat(fHome.MappingPath().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0644u);
    EXPECT_EQ(ListFolder(fHome.StoreFolder()), "mapping.xml");
}

TEST_F(AMappingWriteTest, ALinkedFileIsReplacedBehindItsLink)
{
    const std::filesystem::path target = fHome.Root() / "dotfiles" / "mapping.xml";
    std::filesystem::create_directories(target.parent_path());
    std::filesystem::copy_file(FixturePath("prefs/example.xml"), target);
    std::filesystem::create_symlink(target, fHome.MappingPath());

    APrefController store;
    store.RemoveDevice(kDeviceBTMouse);
    store.FlushXml();

    EXPECT_TRUE(std::filesystem::is_symlink(fHome.MappingPath()));
    EXPECT_EQ(DescribeStore(APrefController(target.string())), "2 65261 2001 1: 4/0/ 5/0/\n");
    EXPECT_EQ(ListFolder(target.parent_path()), "mapping.xml");
}

} // namespace
