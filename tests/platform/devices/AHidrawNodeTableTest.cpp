#include "platform/devices/AHidrawNodeTable.h"

#include "tests/support/ATestPaths.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

TEST(AHidrawNodeTable, MonitorEventsAndEnumerationsBecomeArrivalsAndRemovalsOfTheVendorsDevices)
{
    const std::map<std::string, AHidrawAction> actions = {
        {"add", AHidrawAction::kAdd}, {"change", AHidrawAction::kChange}, {"remove", AHidrawAction::kRemove}};
    AHidrawNodeTable table;
    for (const auto& [rule, event, expected] : ReadFixtureRows("hid/hidraw-events.txt")) {
        SCOPED_TRACE(rule);
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
        words >> devnode;
        std::getline(words, hidID);
        if ((hidID = hidID.substr(1)).ends_with("\\n"))  // without the space before it
            hidID.replace(hidID.size() - 2, 2, "\n");
        const auto known = actions.find(action);
        const AHidrawNodeTable::AChange change =
            table.NoteEvent(known == actions.end() ? AHidrawAction::kOther : known->second,
                            devnode == "-" ? "" : devnode, hidID == "-" ? "" : hidID, 0xFEED);
        std::string text;
        for (const auto& [sign, service] : {std::pair{" -", change.fRemoved}, std::pair{" +", change.fArrived}})
            if (service)
                text += sign + service->fKey + ":" + std::to_string(service->fProductID.value_or(0)) +
                        (service->fVendorID == 0xFEEDu ? "" : " of another vendor");
        EXPECT_EQ(text, expected.empty() ? "" : " " + expected) << event;
    }
}
