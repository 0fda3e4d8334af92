// Reading "mapping.xml": lenient numbers, missing attributes, duplicates,
// element names and markup that carries no records.

#include "prefs/AException.h"
#include "prefs/APrefController.h"
#include "tests/prefs/APrefsTestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

class AMappingReadTest : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directories(fHome.StoreFolder()); }

    void InstallFixture(const std::string& name)
    {
        std::filesystem::copy_file(FixturePath("prefs/" + name), fHome.MappingPath(),
                                   std::filesystem::copy_options::overwrite_existing);
    }

    AConfigHome fHome;
};

TEST_F(AMappingReadTest, EachFileReadsAsItsRecords)
{
    struct ARow {
        const char* fFixture;
        const char* fRecords;
    };
    const ARow rows[] = {
        // the file format's own example
        {"example.xml", "1 65261 1002 0: 4/1//Library/Scripts/Back.scpt 5/3/55|8\n"
                        "2 65261 2001 1: 4/0/ 5/0/\n"},
        // numbers: blanks, sign, digits up to the first other character,
        // nothing gives 0, limits clamp; identifiers keep the signed bits;
        // launch types ignore case and unknown ones read as default
        {"lenient-integers.xml", "0 2147483647 4294967295 -2147483648:\n"
                                 "1 4 0 12: -4/0/x 5/3/55|8\n"},
        // a missing device_type is rfmouse, every other missing value 0 or ""
        {"missing-attributes.xml", "0 0 0 0: 0/0/ 5/0/\n"
                                   "2 0 0 0: 0/2/\n"},
        // the later of two devices of a type wins with its own events only;
        // the later of two events of a button wins
        {"duplicates.xml", "0 8 0 0:\n"
                           "1 2 1002 1: 4/3/55|8\n"},
        // element names, attribute order, quotes, comments, processing
        // instructions, text, declaration, doctype and line ends carry nothing
        {"variations.xml", "1 65261 1002 0: 4/2//opt/app & more 5/2/<>\"'\xE2\x98\xBA\t|\n"
                           "2 65261 2001 1:\n"},
    };
    for (const ARow& row : rows) {
        SCOPED_TRACE(row.fFixture);
        InstallFixture(row.fFixture);
        APrefController store;
        EXPECT_EQ(DescribeStore(store), row.fRecords);
    }
}

TEST_F(AMappingReadTest, AMissingFileGivesAnEmptyStoreAndNoFile)
{
    APrefController store;
    EXPECT_TRUE(store.GetDevices().empty());
    EXPECT_EQ(store.GetXmlPath(), fHome.MappingPath().string());
    EXPECT_FALSE(std::filesystem::exists(fHome.MappingPath()));
}

TEST_F(AMappingReadTest, LoadReplacesChangesInMemoryByTheFilesRecords)
{
    InstallFixture("example.xml");
    APrefController store;
    store.AddOrUpdateDevice(kDeviceRFMouse, 1, 1001, 0);
    store.AddOrUpdateEvent(kDeviceBTMouse, 4, kLaunchExec, "/in-memory-only");
    store.Load();
    EXPECT_EQ(DescribeStore(store), "1 65261 1002 0: 4/1//Library/Scripts/Back.scpt 5/3/55|8\n"
                                    "2 65261 2001 1: 4/0/ 5/0/\n");
}

TEST_F(AMappingReadTest, EveryUnreadableFileFailsWithItsNameAndReasonAndLeavesTheStoreEmpty)
{
    struct ARow {
        const char* fFixture;
        const char* fName;
        const char* fReason;
    };
    const ARow rows[] = {
        {"empty.xml", "PrefController", "Error loading preferences"},
        {"not-xml.txt", "PrefController", "Error loading preferences"},
        {"mismatched-tags.xml", "XMLParser", "Start-end tags mismatch"},
        {"truncated.xml", "XMLParser", "Error parsing start element tag"},
    };
    for (const ARow& row : rows) {
        SCOPED_TRACE(row.fFixture);
        InstallFixture("example.xml");
        APrefController store;
        ASSERT_EQ(store.GetDevices().size(), 2u);

        InstallFixture(row.fFixture);
        try {
            store.Load();
            ADD_FAILURE() << "Load succeeded";
        } catch (const AException& failure) {
            EXPECT_EQ(failure.GetName(), row.fName);
            EXPECT_EQ(failure.GetReason(), row.fReason);
        }
        EXPECT_TRUE(store.GetDevices().empty());

        try {
            APrefController failed;
            ADD_FAILURE() << "construction succeeded";
        } catch (const AException& failure) {
            EXPECT_EQ(failure.GetName(), row.fName);
            EXPECT_EQ(failure.GetReason(), row.fReason);
        }
    }
}

TEST_F(AMappingReadTest, SomethingOtherThanAFileAtThePathFailsToLoad)
{
    std::filesystem::create_directory(fHome.MappingPath());
    try {
        APrefController store;
        ADD_FAILURE() << "construction succeeded";
    } catch (const AException& failure) {
        EXPECT_EQ(failure.GetName(), "PrefController");
        EXPECT_EQ(failure.GetReason(), "Error loading preferences");
    }

    std::filesystem::remove(fHome.MappingPath());
    std::filesystem::create_symlink("nowhere.xml", fHome.MappingPath());
    EXPECT_THROW(APrefController store, AException);
}

TEST_F(AMappingReadTest, AFifoAtThePathFailsWithoutWaitingForAWriter)
{
    ASSERT_EQ(mkfifo(fHome.MappingPath().c_str(), 0600), 0);
    try {
        APrefController store;
        ADD_FAILURE() << "construction succeeded";
    } catch (const AException& failure) {
        EXPECT_EQ(failure.GetReason(), "Error loading preferences");
    }
}

} // namespace
