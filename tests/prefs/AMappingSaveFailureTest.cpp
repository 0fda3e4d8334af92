// A save that fails leaves the old file and the records as they were, and a
// save never shows a reader a partial file.

#include "prefs/AException.h"
#include "prefs/APrefController.h"
#include "tests/prefs/APrefsTestSupport.h"
#include "tests/support/AUnprivilegedUser.h"

#include <gtest/gtest.h>

namespace {

std::string ExpectSaveFailure(APrefController& store)
{
    const std::string records = DescribeStore(store);
    try {
        store.FlushXml();
        return "FlushXml succeeded";
    } catch (const AException& failure) {
        if (failure.GetName() != "PrefController" || failure.GetReason() != "Error saving preferences")
            return std::string("wrong failure: ") + failure.what();
    }
    if (DescribeStore(store) != records)
        return "the records changed: " + DescribeStore(store);
    return "";
}

TEST(AMappingSaveFailureTest, ASaveIntoAFolderThatCannotBeWrittenKeepsTheOldFileAndTheRecords)
{
    AConfigHome home;
    {
        std::filesystem::create_directories(home.StoreFolder());
        std::filesystem::copy_file(FixturePath("prefs/example.xml"), home.MappingPath());
        APrefController store;
        store.FlushXml();
    }
    const std::string oldFile = ReadWholeFile(home.MappingPath());
    ASSERT_TRUE(home.ShutOutOtherSavers());

    // Root ignores permission bits, so the save runs as "nobody"; any other
    // user is kept out by the folder's mode alone.
    const AUnprivilegedUser nobody = AUnprivilegedUser::Nobody();
    EXPECT_EQ(RunInChildProcess([nobody] {
                  if (!nobody.Become())
                      return std::string("could not drop privileges");
                  APrefController store;
                  if (store.GetDevices().size() != 2)
                      return std::string("the old file did not load");
                  store.AddOrUpdateDevice(kDeviceRFMouse, kVendorID, 1001, 0);
                  store.AddOrUpdateEvent(kDeviceRFMouse, 4, kLaunchExec, "/usr/bin/xterm");
                  return ExpectSaveFailure(store);
              }),
              "");

    EXPECT_EQ(ReadWholeFile(home.MappingPath()), oldFile);
    EXPECT_EQ(ListFolder(home.StoreFolder()), "mapping.xml");
}

TEST(AMappingSaveFailureTest, ASaveOverAFolderFailsAndRemovesItsTemporaryFile)
{
    AConfigHome home;
    APrefController store;
    std::filesystem::create_directory(home.MappingPath());
    WriteWholeFile(home.MappingPath() / "inside", "kept");
    store.AddOrUpdateDevice(kDeviceBTMouse, kVendorID, 1002, 0);
    store.AddOrUpdateEvent(kDeviceBTMouse, 5, kLaunchKeystroke, "55|8");

    EXPECT_EQ(ExpectSaveFailure(store), "");
    EXPECT_EQ(ListFolder(home.StoreFolder()), "mapping.xml");
    EXPECT_EQ(ReadWholeFile(home.MappingPath() / "inside"), "kept");
}

// Two stores whose files differ in size a hundredfold, so that a partly
// written file would be cut somewhere in the middle of the larger one.
void FillSmall(APrefController& store)
{
    store.ClearDevices();
    store.AddOrUpdateDevice(kDeviceBTMouse, kVendorID, 1002, 0);
    store.AddOrUpdateEvent(kDeviceBTMouse, 4, kLaunchKeystroke, "55|8");
}

void FillLarge(APrefController& store)
{
    store.ClearDevices();
    for (EDeviceType type : {kDeviceRFMouse, kDeviceBTMouse, kDevicePresenter}) {
        store.AddOrUpdateDevice(type, kVendorID, 1001 + type, 1);
        for (int32_t id = 0; id < 300; ++id)
            store.AddOrUpdateEvent(type, id, kLaunchExec, "/opt/application/number/" + std::to_string(id));
    }
}

TEST(AMappingSaveFailureTest, AReaderNeverSeesAPartlyWrittenFile)
{
    AConfigHome home;
    APrefController writer;
    FillLarge(writer);
    const std::string large = DescribeStore(writer);
    FillSmall(writer);
    const std::string small = DescribeStore(writer);
    writer.FlushXml();

    constexpr int kSaves = 150;
    AChildCheck saver([&writer] {
        for (int save = 0; save < kSaves; ++save) {
            if (save % 2 == 0)
                FillLarge(writer);
            else
                FillSmall(writer);
            writer.FlushXml();
        }
        return std::string();
    });

    APrefController reader;
    int reads = 0;
    std::string problem;
    std::string lastSeen = small;
    bool sawLarge = false;
    while (saver.IsRunning() && reads < 1000000 && problem.empty()) {
        try {
            reader.Load();
        } catch (const AException& failure) {
            problem = std::string("read ") + std::to_string(reads) + " failed: " + failure.what();
            break;
        }
        lastSeen = DescribeStore(reader);
        if (lastSeen != small && lastSeen != large)
            problem = "read " + std::to_string(reads) + " held a partial store";
        sawLarge = sawLarge || lastSeen == large;
        ++reads;
    }
    EXPECT_EQ(saver.Wait(), "");
    EXPECT_EQ(problem, "");
    EXPECT_GT(reads, 0);
    reader.Load();
    EXPECT_EQ(DescribeStore(reader), small);  // the last save wrote the small store
    EXPECT_EQ(ListFolder(home.StoreFolder()), "mapping.xml");
    RecordProperty("reads", reads);
    RecordProperty("sawLarge", sawLarge ? 1 : 0);
}

} // namespace
