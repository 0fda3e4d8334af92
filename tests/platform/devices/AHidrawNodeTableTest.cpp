#include "platform/devices/AHidrawNodeTable.h"

#include "tests/hid/AHIDTextFixture.h"

#include <gtest/gtest.h>

#include <map>
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
    const std::map<std::string, AHidrawAction> actions = {
        {"add", AHidrawAction::kAdd}, {"change", AHidrawAction::kChange}, {"remove", AHidrawAction::kRemove}};
    AHidrawNodeTable table;
    std::string rule;
    for (const std::string& line : FixtureLines("hidraw-events.txt")) {
        if (line[0] == '#') {
            rule = line;
            continue;
        }
        SCOPED_TRACE(rule);
        const auto [event, expected] = SplitRow(line);
        std::istringstream words(event);
        std::string action, devnode, hidID;
        if (words >> action && action == "enumerate") {
            std::vector<AHIDService> found;
            for (std::string device; words >> device;) {
                const size_t colon = device.find(':');
                found.push_back({device.substr(0, colon), 0xFEED, std::stoul(device.substr(colon + 1))});
            }
            table.Replace(found);
            continue;
        }
        words >> devnode >> hidID;
        const auto known = actions.find(action);
        const AHidrawNodeTable::AChange change =
            table.NoteEvent(known == actions.end() ? AHidrawAction::kOther : known->second,
                            devnode == "-" ? "" : devnode, hidID == "-" ? "" : hidID, 0xFEED);
        std::string text;
        for (const auto& [sign, service] : {std::pair{"-", change.fRemoved}, std::pair{"+", change.fArrived}}) {
            if (service) {
                text += (text.empty() ? sign : std::string(" ") + sign) + service->fKey + ":" +
                        std::to_string(service->fProductID.value_or(0));
                EXPECT_EQ(service->fVendorID, 0xFEEDu);
            }
        }
        EXPECT_EQ(text, expected) << line;
    }
}
