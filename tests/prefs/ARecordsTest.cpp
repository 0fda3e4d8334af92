// The store's records, name conversions and number reading, in memory.

#include "prefs/ALeadingInteger.h"
#include "tests/prefs/APrefsTestSupport.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

namespace {

TEST(ARecordsTest, EachChangeAffectsOnlyWhatItNames)
{
    const struct {
        const char* fRule;
        std::function<void(APrefController&)> fChange;
        const char* fRecords;
    } steps[] = {
        {"a new device keeps every field unchanged", [](auto& s) { s.AddOrUpdateDevice(2, 0x80000001u, 2001, -7); },
         "2 2147483649 2001 -7:\n"},
        {"an event of a missing device is not stored", [](auto& s) { s.AddOrUpdateEvent(1, 4, kLaunchExec, "/a"); },
         "2 2147483649 2001 -7:\n"},
        {"records run by ascending type, any type", [](auto& s) { for (int t : {42, -1, 1}) s.AddOrUpdateDevice(t, 1, 2, 0); },
         "-1 1 2 0:\n1 1 2 0:\n2 2147483649 2001 -7:\n42 1 2 0:\n"},
        {"events run by ascending id", [](auto& s) { for (int id : {5, -3, 4}) s.AddOrUpdateEvent(1, id, 2, "/x"); },
         "-1 1 2 0:\n1 1 2 0: -3/2//x 4/2//x 5/2//x\n2 2147483649 2001 -7:\n42 1 2 0:\n"},
        {"an update of an event replaces type and argument", [](auto& s) { s.AddOrUpdateEvent(1, 4, 3, std::nullopt); },
         "-1 1 2 0:\n1 1 2 0: -3/2//x 4/3/ 5/2//x\n2 2147483649 2001 -7:\n42 1 2 0:\n"},
        {"an update of a device keeps its events", [](auto& s) { s.AddOrUpdateDevice(1, 17, 18, 1); },
         "-1 1 2 0:\n1 17 18 1: -3/2//x 4/3/ 5/2//x\n2 2147483649 2001 -7:\n42 1 2 0:\n"},
        {"removing an event, or a missing one", [](auto& s) { s.RemoveEvent(1, 5), s.RemoveEvent(1, 9), s.RemoveEvent(0, 4); },
         "-1 1 2 0:\n1 17 18 1: -3/2//x 4/3/\n2 2147483649 2001 -7:\n42 1 2 0:\n"},
        {"removing all events of one device", [](auto& s) { s.RemoveAllEvents(1), s.RemoveAllEvents(0); },
         "-1 1 2 0:\n1 17 18 1:\n2 2147483649 2001 -7:\n42 1 2 0:\n"},
        {"removing a device, or a missing one", [](auto& s) { s.RemoveDevice(42), s.RemoveDevice(0); },
         "-1 1 2 0:\n1 17 18 1:\n2 2147483649 2001 -7:\n"},
        {"clearing the devices", [](auto& s) { s.ClearDevices(); }, ""},
        {"removing all devices", [](auto& s) { s.AddOrUpdateDevice(0, 1, 2, 3), s.RemoveAllDevices(); }, ""},
    };
    ATemporaryFolder folder;
    APrefController store((folder.Path() / "mapping.xml").string());
    for (const auto& step : steps) {
        SCOPED_TRACE(step.fRule);
        step.fChange(store);
        EXPECT_EQ(DescribeStore(store), step.fRecords);
    }

    store.AddOrUpdateDevice(1, 1, 2, 0);
    store.AddOrUpdateEvent(1, 4, kLaunchExec, "/a");
    const ADevice* device = store.GetDevice(1);
    const AEvent* event = store.GetEvent(1, 4);
    store.AddOrUpdateDevice(1, 3, 4, 1);
    store.AddOrUpdateEvent(1, 4, kLaunchDefault, "");
    EXPECT_EQ(store.GetDevice(1), device) << "an update keeps the same device record";
    EXPECT_EQ(store.GetEvent(1, 4), event) << "an update keeps the same event record";
    EXPECT_EQ(event->GetButtonId(), 4);
    EXPECT_EQ(store.GetEvent(2, 4), nullptr);
}

// The names inside the tables are read and written through the fixtures.
TEST(ARecordsTest, TypesOutsideTheTablesAreWrittenAsTheNameOfZeroAndShownAsNothing)
{
    for (int32_t outside : {-1, 5, 7}) {
        ADevice device;
        device.SetDeviceType(outside);
        EXPECT_EQ(device.GetDeviceTypeDescription(), "") << outside;
        EXPECT_EQ(APrefController::FromDeviceType(outside), "rfmouse") << outside;
        EXPECT_EQ(APrefController::FromLaunchType(outside), "default") << outside;
    }
    EXPECT_EQ(APrefController::ToDeviceType(std::nullopt), kDeviceRFMouse);
    EXPECT_EQ(APrefController::ToLaunchType(std::nullopt), kLaunchDefault);
}

TEST(ARecordsTest, NumbersReadAsTheirLeadingDecimalDigitsClampedTo32Bits)
{
    pugi::xml_document rows;
    ASSERT_TRUE(rows.load_file(FixturePath("prefs/leading-integers.xml").c_str()));
    int count = 0;
    for (pugi::xml_node row : rows.child("numbers").children("number")) {
        EXPECT_EQ(ReadLeadingInteger(row.text().get()), row.attribute("value").as_int()) << row.attribute("rule").value();
        ++count;
    }
    EXPECT_GT(count, 20);
    EXPECT_EQ(ReadLeadingInteger(std::string_view("123456", 3)), 123) << "the view ends the number";
}

} // namespace
