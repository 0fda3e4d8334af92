// The store's records and conversions, in memory.

#include "prefs/APrefController.h"
#include "tests/prefs/APrefsTestSupport.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

// A store over a file that does not exist: empty, and never written here.
class ARecordsTest : public ::testing::Test {
protected:
    ATemporaryFolder fFolder;
    APrefController fStore{(fFolder.Path() / "mapping.xml").string()};
};

TEST(AConversionsTest, NamesReadWithoutRegardToCaseAndUnknownNamesReadAsZero)
{
    struct ARow {
        std::optional<std::string_view> fName;
        EDeviceType fDeviceType;
        ELaunchType fLaunchType;
    };
    const ARow rows[] = {
        {"rfmouse", kDeviceRFMouse, kLaunchDefault},
        {"btmouse", kDeviceBTMouse, kLaunchDefault},
        {"BtMouse", kDeviceBTMouse, kLaunchDefault},
        {"PRESENTER", kDevicePresenter, kLaunchDefault},
        {"presenter ", kDeviceRFMouse, kLaunchDefault},  // no trimming
        {"mouse", kDeviceRFMouse, kLaunchDefault},
        {"", kDeviceRFMouse, kLaunchDefault},
        {std::nullopt, kDeviceRFMouse, kLaunchDefault},
        {"applescript", kDeviceRFMouse, kLaunchAppleScript},
        {"AppleScript", kDeviceRFMouse, kLaunchAppleScript},
        {"EXEC", kDeviceRFMouse, kLaunchExec},
        {"keystroke", kDeviceRFMouse, kLaunchKeystroke},
        {"PredefinedKeys", kDeviceRFMouse, kLaunchPredefinedKeys},
        {"run", kDeviceRFMouse, kLaunchDefault},
        {"1", kDeviceRFMouse, kLaunchDefault},  // numbers are not names
    };
    for (const ARow& row : rows) {
        SCOPED_TRACE(row.fName.value_or("(absent)"));
        EXPECT_EQ(APrefController::ToDeviceType(row.fName), row.fDeviceType);
        EXPECT_EQ(APrefController::ToLaunchType(row.fName), row.fLaunchType);
    }
}

TEST(AConversionsTest, ValuesOutsideTheTablesGiveTheNameOfZero)
{
    EXPECT_EQ(APrefController::FromDeviceType(kDeviceRFMouse), "rfmouse");
    EXPECT_EQ(APrefController::FromDeviceType(kDeviceBTMouse), "btmouse");
    EXPECT_EQ(APrefController::FromDeviceType(kDevicePresenter), "presenter");
    EXPECT_EQ(APrefController::FromDeviceType(7), "rfmouse");
    EXPECT_EQ(APrefController::FromDeviceType(kDeviceUnknown), "rfmouse");

    const char* launchNames[] = {"default", "applescript", "exec", "keystroke", "predefinedkeys"};
    for (ELaunchType type = 0; type < 5; ++type)
        EXPECT_EQ(APrefController::FromLaunchType(type), launchNames[type]);
    EXPECT_EQ(APrefController::FromLaunchType(-1), "default");
    EXPECT_EQ(APrefController::FromLaunchType(5), "default");
}

TEST(AConversionsTest, DisplayNamesOfTheThreeTypesAndEmptyForOthers)
{
    const std::pair<EDeviceType, std::string> rows[] = {
        {kDeviceRFMouse, "Wireless Mouse"}, {kDeviceBTMouse, "Bluetooth Mouse"},
        {kDevicePresenter, "Bluetooth Presenter"}, {5, ""}, {kDeviceUnknown, ""}};
    for (const auto& [type, name] : rows) {
        ADevice device;
        device.SetDeviceType(type);
        EXPECT_EQ(device.GetDeviceTypeDescription(), name) << type;
    }
}

TEST(AConversionsTest, FromIntWritesPlainDecimal)
{
    EXPECT_EQ(APrefController::FromInt(-3), "-3");
    EXPECT_EQ(APrefController::FromInt(1001), "1001");
    EXPECT_EQ(APrefController::FromInt(0), "0");
    EXPECT_EQ(APrefController::FromInt(INT32_MIN), "-2147483648");
    EXPECT_EQ(APrefController::FromInt(INT32_MAX), "2147483647");
}

TEST(ARecordsDefaultsTest, NewRecordsStartAtZeroWithAnEmptyArgument)
{
    ADevice device;
    EXPECT_EQ(device.GetDeviceType(), 0);
    EXPECT_EQ(device.GetDeviceVID(), 0u);
    EXPECT_EQ(device.GetDevicePID(), 0u);
    EXPECT_EQ(device.GetPresentationType(), 0);
    EXPECT_TRUE(device.GetEvents().empty());

    AEvent event;
    EXPECT_EQ(event.GetButtonId(), 0);
    EXPECT_EQ(event.GetLaunchType(), kLaunchDefault);
    EXPECT_EQ(event.GetLaunchArg(), "");
}

TEST(ARecordsDefaultsTest, SetLaunchTypeReplacesTypeAndArgumentTogether)
{
    AEvent event;
    event.SetLaunchType(kLaunchExec, "/usr/bin/gimp");
    EXPECT_EQ(event.GetLaunchType(), kLaunchExec);
    EXPECT_EQ(event.GetLaunchArg(), "/usr/bin/gimp");
    event.SetLaunchType(kLaunchDefault, std::nullopt);
    EXPECT_EQ(event.GetLaunchType(), kLaunchDefault);
    EXPECT_EQ(event.GetLaunchArg(), "");
}

TEST_F(ARecordsTest, AddingANewDeviceStoresEveryFieldUnchanged)
{
    fStore.AddOrUpdateDevice(kDevicePresenter, 0x80000001u, 2001, -7);
    const ADevice* device = fStore.GetDevice(kDevicePresenter);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->GetDeviceType(), kDevicePresenter);
    EXPECT_EQ(device->GetDeviceVID(), 0x80000001u);
    EXPECT_EQ(device->GetDevicePID(), 2001u);
    EXPECT_EQ(device->GetPresentationType(), -7);
}

TEST_F(ARecordsTest, UpdatingADeviceKeepsTheSameRecordAndItsEvents)
{
    fStore.AddOrUpdateDevice(kDeviceBTMouse, kVendorID, 1002, 0);
    fStore.AddOrUpdateEvent(kDeviceBTMouse, 4, kLaunchKeystroke, "55|8");
    const ADevice* before = fStore.GetDevice(kDeviceBTMouse);
    const AEvent* eventBefore = fStore.GetEvent(kDeviceBTMouse, 4);

    fStore.AddOrUpdateDevice(kDeviceBTMouse, 17, 18, 1);

    EXPECT_EQ(fStore.GetDevice(kDeviceBTMouse), before);
    EXPECT_EQ(fStore.GetEvent(kDeviceBTMouse, 4), eventBefore);
    EXPECT_EQ(DescribeStore(fStore), "1 17 18 1: 4/3/55|8\n");
}

TEST_F(ARecordsTest, UpdatingAnEventKeepsTheSameRecordAndReplacesTypeAndArgument)
{
    fStore.AddOrUpdateDevice(kDeviceRFMouse, kVendorID, 1001, 0);
    fStore.AddOrUpdateEvent(kDeviceRFMouse, 5, kLaunchAppleScript, "/x.sh");
    const AEvent* before = fStore.GetEvent(kDeviceRFMouse, 5);
    fStore.AddOrUpdateEvent(kDeviceRFMouse, 5, kLaunchDefault, std::nullopt);
    EXPECT_EQ(fStore.GetEvent(kDeviceRFMouse, 5), before);
    EXPECT_EQ(before->GetButtonId(), 5);
    EXPECT_EQ(before->GetLaunchType(), kLaunchDefault);
    EXPECT_EQ(before->GetLaunchArg(), "");
}

TEST_F(ARecordsTest, EventOperationsOnAMissingDeviceDoNothing)
{
    fStore.AddOrUpdateEvent(kDeviceBTMouse, 4, kLaunchExec, "/bin/true");
    EXPECT_FALSE(fStore.DeviceExists(kDeviceBTMouse));
    EXPECT_EQ(fStore.GetEvent(kDeviceBTMouse, 4), nullptr);
    fStore.RemoveEvent(kDeviceBTMouse, 4);
    fStore.RemoveAllEvents(kDeviceBTMouse);
    EXPECT_TRUE(fStore.GetDevices().empty());
}

TEST_F(ARecordsTest, RemovalsAffectOnlyWhatTheyName)
{
    fStore.AddOrUpdateDevice(kDeviceRFMouse, 1, 1001, 0);
    fStore.AddOrUpdateDevice(kDeviceBTMouse, 1, 1002, 0);
    fStore.AddOrUpdateDevice(42, 1, 2001, 0);  // keys are not validated
    for (EDeviceType type : {kDeviceRFMouse, kDeviceBTMouse}) {
        fStore.AddOrUpdateEvent(type, 4, kLaunchExec, "/a");
        fStore.AddOrUpdateEvent(type, 5, kLaunchExec, "/b");
    }
    EXPECT_TRUE(fStore.DeviceExists(42));

    fStore.RemoveEvent(kDeviceRFMouse, 4);
    fStore.RemoveEvent(kDeviceRFMouse, 9);  // absent: nothing
    fStore.RemoveAllEvents(kDeviceBTMouse);
    EXPECT_EQ(DescribeStore(fStore), "0 1 1001 0: 5/2//b\n1 1 1002 0:\n42 1 2001 0:\n");

    fStore.RemoveDevice(kDeviceBTMouse);
    fStore.RemoveDevice(kDevicePresenter);  // absent: nothing
    EXPECT_FALSE(fStore.DeviceExists(kDeviceBTMouse));
    EXPECT_TRUE(fStore.DeviceExists(kDeviceRFMouse));

    fStore.ClearDevices();
    for (EDeviceType type : {kDeviceRFMouse, kDeviceBTMouse, kDevicePresenter, 42})
        EXPECT_FALSE(fStore.DeviceExists(type));

    fStore.AddOrUpdateDevice(kDevicePresenter, 1, 2001, 0);
    fStore.RemoveAllDevices();
    EXPECT_TRUE(fStore.GetDevices().empty());
}

TEST_F(ARecordsTest, EnumeratorsRunInAscendingKeyOrder)
{
    for (EDeviceType type : {2, -1, 0, 1})
        fStore.AddOrUpdateDevice(type, 0, 0, 0);
    for (int32_t id : {5, -3, 4})
        fStore.AddOrUpdateEvent(1, id, kLaunchDefault, std::nullopt);
    EXPECT_EQ(DescribeStore(fStore), "-1 0 0 0:\n0 0 0 0:\n1 0 0 0: -3/0/ 4/0/ 5/0/\n2 0 0 0:\n");
}

} // namespace
