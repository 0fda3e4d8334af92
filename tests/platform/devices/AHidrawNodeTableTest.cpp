#include "platform/devices/AHidrawNodeTable.h"

#include <gtest/gtest.h>

#include <string>

TEST(ParseHIDID, AcceptsOnlyThreeHexadecimalGroups)
{
    const std::tuple<const char*, uint16_t, uint32_t, uint32_t> accepted[] = {
        {"0003:0000FEED:000003E9", 3, 0xFEED, 1001}, {"0003:0000feed:000003ea", 3, 0xFEED, 1002},  // either case
        {"3:FEED:3E9", 3, 0xFEED, 1001},  // %04X is a minimum width
        {"0018:FFFFFFFF:00000000", 0x18, 0xFFFFFFFF, 0},
    };
    for (const auto& [text, bus, vendor, product] : accepted) {
        const std::optional<AHIDIdentity> parsed = ParseHIDID(text);
        ASSERT_TRUE(parsed) << text;
        EXPECT_EQ(std::tuple(parsed->fBus, parsed->fVendorID, parsed->fProductID), std::tuple(bus, vendor, product));
    }
    for (const char* text : {"", "0003", "0003:0000FEED", "0003:0000FEED:", ":0000FEED:000003E9", "0003::000003E9",
                             "0003:0000FEED:000003E9:0001", "0003:0000FEED:000003E9\n", " 0003:0000FEED:000003E9",
                             "0003:0x00FEED:000003E9", "0003:+000FEED:000003E9", "0003:-000FEED:000003E9",
                             "0003:0000FEEG:000003E9", "0003:10000FEED:000003E9" /* over 32 bits */,
                             "00003:0000FEED:000003E9" /* a bus is 16 bits */})
        EXPECT_FALSE(ParseHIDID(text)) << text;
}

TEST(AHidrawNodeTable, MonitorEventsAndEnumerationsBecomeArrivalsAndRemovalsOfTheVendorsDevices)
{
    constexpr AHidrawAction kAdd = AHidrawAction::kAdd, kChange = AHidrawAction::kChange,
                            kRemove = AHidrawAction::kRemove;
    const char *const k1001 = "0003:0000FEED:000003E9", *const k2001 = "0005:0000FEED:000007D1";
    const char* const kOtherVendor = "0003:0000046D:0000C52B";
    const std::tuple<const char*, AHidrawAction, const char*, const char*, const char*> steps[] = {
        // the rule, the monitor's event (action, node, HID_ID), what it changes
        {"a device arrives", kAdd, "hidraw1", k1001, "+hidraw1:1001"},
        {"seen again by the enumeration's overlap", kAdd, "hidraw1", k1001, ""},
        {"a change reports it again", kChange, "hidraw1", k1001, "+hidraw1:1001"},
        {"another vendor's device", kAdd, "hidraw2", kOtherVendor, ""},
        {"another vendor's change", kChange, "hidraw2", kOtherVendor, ""},
        {"other actions", AHidrawAction::kOther, "hidraw1", k1001, ""},
        {"another vendor's removal", kRemove, "hidraw2", "", ""},
        {"a reused node: the old device's removal was missed", kAdd, "hidraw1", k2001, "-hidraw1:1001 +hidraw1:2001"},
        {"removal, told from the arrival", kRemove, "hidraw1", "", "-hidraw1:2001"},
        {"removed twice", kRemove, "hidraw1", "", ""},
        {"a change of a node never seen", kChange, "hidraw3", k2001, "+hidraw3:2001"},
        {"a parent without HID_ID", kAdd, "hidraw4", "", ""},
        {"no device node", kAdd, "", k1001, ""},
        // Here an enumeration finds hidraw5 and hidraw6; hidraw3 left meanwhile.
        {"an enumerated device is known", kAdd, "hidraw5", k1001, ""},
        {"one that left while nobody watched is forgotten", kRemove, "hidraw3", "", ""},
        {"an enumerated device is removed as it was found", kRemove, "hidraw6", "", "-hidraw6:2001"},
    };
    AHidrawNodeTable table;
    for (const auto& [rule, action, devnode, hidID, expected] : steps) {
        SCOPED_TRACE(rule);
        if (std::string(devnode) == "hidraw5")
            table.Replace({{"hidraw5", 0xFEED, 1001}, {"hidraw6", 0xFEED, 2001}});
        const AHidrawNodeTable::AChange change = table.NoteEvent(action, devnode, hidID, 0xFEED);
        std::string text;
        for (const auto& [sign, service] : {std::pair{"-", change.fRemoved}, std::pair{"+", change.fArrived}}) {
            if (service) {
                text += (text.empty() ? sign : std::string(" ") + sign) + service->fKey + ":" +
                        std::to_string(service->fProductID.value_or(0));
                EXPECT_EQ(service->fVendorID, 0xFEEDu);
            }
        }
        EXPECT_EQ(text, expected);
    }
    EXPECT_FALSE(table.Knows("hidraw3"));
    EXPECT_TRUE(table.Knows("hidraw5"));
}
