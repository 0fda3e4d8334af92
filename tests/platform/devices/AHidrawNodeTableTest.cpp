#include "platform/devices/AHidrawNodeTable.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

TEST(ParseHIDID, AcceptsOnlyThreeHexadecimalGroups)
{
    struct ARow {
        const char* fText;
        std::optional<AHIDIdentity> fExpected;
    };
    const ARow rows[] = {
        {"0003:0000FEED:000003E9", AHIDIdentity{0x0003, 0xFEED, 1001}},
        {"0005:0000FEED:000007D1", AHIDIdentity{0x0005, 0xFEED, 2001}},
        {"0003:0000feed:000003ea", AHIDIdentity{0x0003, 0xFEED, 1002}},  // either case
        {"3:FEED:3E9", AHIDIdentity{0x0003, 0xFEED, 1001}},              // %04X is a minimum width
        {"0018:FFFFFFFF:00000000", AHIDIdentity{0x0018, 0xFFFFFFFF, 0}},
        {"", std::nullopt},
        {"0003", std::nullopt},
        {"0003:0000FEED", std::nullopt},
        {"0003:0000FEED:", std::nullopt},
        {":0000FEED:000003E9", std::nullopt},
        {"0003::000003E9", std::nullopt},
        {"0003:0000FEED:000003E9:0001", std::nullopt},
        {"0003:0000FEED:000003E9\n", std::nullopt},
        {" 0003:0000FEED:000003E9", std::nullopt},
        {"0003:0x00FEED:000003E9", std::nullopt},
        {"0003:+000FEED:000003E9", std::nullopt},
        {"0003:-000FEED:000003E9", std::nullopt},
        {"0003:0000FEEG:000003E9", std::nullopt},
        {"0003:10000FEED:000003E9", std::nullopt},  // more than 32 bits
        {"00003:0000FEED:000003E9", std::nullopt},  // a bus is 16 bits
    };
    for (const ARow& row : rows) {
        SCOPED_TRACE(row.fText);
        const std::optional<AHIDIdentity> parsed = ParseHIDID(row.fText);
        ASSERT_EQ(parsed.has_value(), row.fExpected.has_value());
        if (parsed) {
            EXPECT_EQ(parsed->fBus, row.fExpected->fBus);
            EXPECT_EQ(parsed->fVendorID, row.fExpected->fVendorID);
            EXPECT_EQ(parsed->fProductID, row.fExpected->fProductID);
        }
    }
}

TEST(MakeHidrawService, KeepsOnlyTheVendorsNodesKeyedByDevnode)
{
    const std::optional<AHIDService> ours = MakeHidrawService("/dev/hidraw3", "0005:0000FEED:000007D1", 0xFEED);
    ASSERT_TRUE(ours);
    EXPECT_EQ(ours->fKey, "/dev/hidraw3");
    EXPECT_EQ(ours->fVendorID, 0xFEEDu);
    EXPECT_EQ(ours->fProductID, 2001u);

    EXPECT_FALSE(MakeHidrawService("/dev/hidraw3", "0003:0000046D:0000C52B", 0xFEED));
    EXPECT_FALSE(MakeHidrawService("/dev/hidraw3", "", 0xFEED));  // the parent's HID_ID could not be read
    EXPECT_FALSE(MakeHidrawService("", "0005:0000FEED:000007D1", 0xFEED));
}

namespace {

AHIDService Service(const char* devnode, uint32_t product)
{
    return AHIDService{devnode, 0xFEED, product};
}

void ExpectService(const std::optional<AHIDService>& actual, const AHIDService& expected)
{
    ASSERT_TRUE(actual);
    EXPECT_EQ(actual->fKey, expected.fKey);
    EXPECT_EQ(actual->fVendorID, expected.fVendorID);
    EXPECT_EQ(actual->fProductID, expected.fProductID);
}

} // namespace

TEST(AHidrawNodeTable, MonitorEventsBecomeArrivalsAndRemovalsOfTheVendorsDevices)
{
    struct AStep {
        const char* fRule;
        AHidrawAction fAction;
        const char* fDevnode;
        const char* fHIDID;
        uint32_t fRemovedProduct;  // 0: no removal
        uint32_t fArrivedProduct;  // 0: no arrival
    };
    const AStep steps[] = {
        {"a device arrives", AHidrawAction::kAdd, "/dev/hidraw1", "0003:0000FEED:000003E9", 0, 1001},
        {"seen again by the enumeration's overlap", AHidrawAction::kAdd, "/dev/hidraw1", "0003:0000FEED:000003E9", 0, 0},
        {"a change reports it again", AHidrawAction::kChange, "/dev/hidraw1", "0003:0000FEED:000003E9", 0, 1001},
        {"another vendor's device", AHidrawAction::kAdd, "/dev/hidraw2", "0003:0000046D:0000C52B", 0, 0},
        {"another vendor's change", AHidrawAction::kChange, "/dev/hidraw2", "0003:0000046D:0000C52B", 0, 0},
        {"other actions", AHidrawAction::kOther, "/dev/hidraw1", "0003:0000FEED:000003E9", 0, 0},
        {"another vendor's removal", AHidrawAction::kRemove, "/dev/hidraw2", "", 0, 0},
        {"removal, told from the arrival", AHidrawAction::kRemove, "/dev/hidraw1", "", 1001, 0},
        {"removed twice", AHidrawAction::kRemove, "/dev/hidraw1", "", 0, 0},
        {"a change of a node never seen", AHidrawAction::kChange, "/dev/hidraw3", "0005:0000FEED:000007D1", 0, 2001},
        {"a parent without HID_ID", AHidrawAction::kAdd, "/dev/hidraw4", "", 0, 0},
    };
    AHidrawNodeTable table;
    for (const AStep& step : steps) {
        SCOPED_TRACE(step.fRule);
        const AHidrawNodeTable::AChange change = table.NoteEvent(step.fAction, step.fDevnode, step.fHIDID, 0xFEED);
        EXPECT_EQ(change.fRemoved ? *change.fRemoved->fProductID : 0u, step.fRemovedProduct);
        EXPECT_EQ(change.fArrived ? *change.fArrived->fProductID : 0u, step.fArrivedProduct);
        if (change.fRemoved) {
            EXPECT_EQ(change.fRemoved->fKey, step.fDevnode);
        }
        if (change.fArrived) {
            EXPECT_EQ(change.fArrived->fKey, step.fDevnode);
        }
    }
}

TEST(AHidrawNodeTable, ADeviceIsReportedOnceAndAReusedNodeReplacesItsOldDevice)
{
    AHidrawNodeTable table;
    table.NoteArrival(Service("/dev/hidraw1", 1001));
    // The same device again (seen by both the monitor and the enumeration).
    const AHidrawNodeTable::AChange again = table.NoteArrival(Service("/dev/hidraw1", 1001));
    EXPECT_FALSE(again.fArrived);
    EXPECT_FALSE(again.fRemoved);

    // Another device under the node: the old one's removal was missed.
    const AHidrawNodeTable::AChange reused = table.NoteArrival(Service("/dev/hidraw1", 2001));
    ExpectService(reused.fRemoved, Service("/dev/hidraw1", 1001));
    ExpectService(reused.fArrived, Service("/dev/hidraw1", 2001));
    ExpectService(table.NoteRemoval("/dev/hidraw1"), Service("/dev/hidraw1", 2001));
}

TEST(AHidrawNodeTable, EnumerationReplacesWhatWasKnown)
{
    AHidrawNodeTable table;
    table.NoteArrival(Service("/dev/hidraw1", 1001));  // left while nobody watched
    table.Replace({Service("/dev/hidraw2", 1002), Service("/dev/hidraw4", 2001)});

    EXPECT_FALSE(table.Knows("/dev/hidraw1"));
    EXPECT_FALSE(table.NoteArrival(Service("/dev/hidraw2", 1002)).fArrived);
    ExpectService(table.NoteRemoval("/dev/hidraw4"), Service("/dev/hidraw4", 2001));
    ExpectService(table.NoteArrival(Service("/dev/hidraw1", 1001)).fArrived, Service("/dev/hidraw1", 1001));
}
