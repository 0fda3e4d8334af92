#include "agent/ADeviceManager.h"

#include "agent/AHIDDevice.h"
#include "tests/support/AAgentHarness.h"
#include "tests/support/AHIDTestDescriptors.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using AHandle = AStandInHIDBackend::AHandle;

// The whole agent on the stand-in backend, with a second connection to the
// private bus counting "NuvexaPreferences".
class ADiscoveryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(fListener.AddObserver(this, Observe, "NuvexaPreferences", std::nullopt));
        ASSERT_TRUE(fListener.AddObserver(this, Observe, kBarrier, std::nullopt));
    }

    AHandle AddDevice(uint32_t productID, const std::vector<uint8_t>& descriptor = kPointingDescriptor)
    {
        return fAgent.HID().AddDevice(kVendorID, productID, descriptor);
    }

    // Injects one batch, lets the agent take it, and returns how many
    // "NuvexaPreferences" it posted for it.
    int Arrive(const std::vector<AHandle>& devices) { return Batch(devices, true); }
    int Remove(const std::vector<AHandle>& devices) { return Batch(devices, false); }

    int Batch(const std::vector<AHandle>& devices, bool arrival)
    {
        arrival ? fAgent.HID().Arrive(devices) : fAgent.HID().Remove(devices);
        EXPECT_TRUE(fAgent.RunUntil([&] { return fAgent.HID().GetPendingBatchCount() == 0; }));
        return TakeChanges();
    }

    // The posts seen so far, made certain by a barrier posted on the same
    // connection as the agent's: the bus keeps one sender's order.
    int TakeChanges()
    {
        const int barriers = fBarriers;
        fAgent.Notifications().PostNotification(kBarrier, std::nullopt);
        EXPECT_TRUE(fAgent.RunUntil([&] { return fBarriers == barriers + 1; }));
        return std::exchange(fChanges, 0);
    }

    // The device types in the device list, in arrival order.
    std::vector<int> Types()
    {
        const AMessageData list = fAgent.Manager().GetDevices();
        pugi::xml_document document;
        EXPECT_TRUE(document.load_buffer(list.data(), list.size()));
        std::vector<int> types;
        for (pugi::xml_node device : document.child("devicelist").children("device"))
            types.push_back(device.attribute("type").as_int());
        return types;
    }

    size_t Open(AHandle device) { return fAgent.HID().GetOpenConnectionCount(device); }

    static void Observe(ADistributedNotificationCenter*, void* observer, std::string_view name, std::string_view)
    {
        auto* test = static_cast<ADiscoveryTest*>(observer);
        ++(name == kBarrier ? test->fBarriers : test->fChanges);
    }

    static constexpr const char* kBarrier = "NuvexaTestBarrier";
    AAgentHarness fAgent;
    ADistributedNotificationCenter fListener{&fAgent.Loop()};
    int fChanges = 0;
    int fBarriers = 0;
};

} // namespace

TEST_F(ADiscoveryTest, DeviceTypeComesFromTheVendorAndProduct)
{
    fAgent.Start();
    struct ARow {
        std::optional<uint32_t> fVendorID;
        std::optional<uint32_t> fProductID;
        EDeviceType fType;
    };
    const ARow rows[] = {
        {kVendorID, 1001, kDeviceRFMouse},     {kVendorID, 1002, kDeviceBTMouse},
        {kVendorID, 2001, kDevicePresenter},   {kVendorID, 1003, kDeviceUnknown},
        {kVendorID + 1, 1001, kDeviceUnknown}, {std::nullopt, 1001, kDeviceUnknown},
        {kVendorID, std::nullopt, kDeviceUnknown},
    };
    for (const ARow& row : rows)
        EXPECT_EQ(fAgent.Manager().QueryDeviceType(AHIDService{"key", row.fVendorID, row.fProductID}), row.fType);
}

TEST_F(ADiscoveryTest, DevicesAttachedBeforeStartAreOpenedBySetupWithOneNotification)
{
    const AHandle mouse = AddDevice(kProductRFMouse);
    const AHandle presenter = AddDevice(kProductPresenter);
    fAgent.HID().Arrive({mouse, presenter});  // nobody watches yet
    fAgent.Start();
    EXPECT_EQ(Types(), (std::vector<int>{kDeviceRFMouse, kDevicePresenter}));
    EXPECT_EQ(TakeChanges(), 1);
}

TEST_F(ADiscoveryTest, AttachAndDetachInEveryOrder)
{
    fAgent.Start();
    const std::vector<AHandle> devices = {AddDevice(kProductRFMouse), AddDevice(kProductBTMouse),
                                          AddDevice(kProductPresenter)};
    std::vector<size_t> order = {0, 1, 2};
    do {
        SCOPED_TRACE(testing::PrintToString(order));
        for (const size_t index : order)
            EXPECT_EQ(Arrive({devices[index]}), 1);
        std::vector<int> expected;
        for (const size_t index : order)
            expected.push_back(static_cast<int>(index));  // the devices' types are 0, 1 and 2
        EXPECT_EQ(Types(), expected);
        // Leave in the reverse of the next order of arrival, so that every
        // device leaves from every position.
        std::vector<size_t> leaving = order;
        std::rotate(leaving.begin(), leaving.begin() + 1, leaving.end());
        for (const size_t index : leaving) {
            EXPECT_EQ(Remove({devices[index]}), 1);
            EXPECT_EQ(Open(devices[index]), 0u);
            expected.erase(std::find(expected.begin(), expected.end(), static_cast<int>(index)));
            EXPECT_EQ(Types(), expected);
            for (const size_t other : order)
                EXPECT_EQ(Open(devices[other]), std::count(expected.begin(), expected.end(), static_cast<int>(other)));
        }
        EXPECT_EQ(fAgent.Manager().GetNumHIDDevices(), 0);
    } while (std::next_permutation(order.begin(), order.end()));
}

TEST_F(ADiscoveryTest, OfTwoDevicesOfOneTypeTheOneThatLeftIsClosed)
{
    fAgent.Start();
    for (const bool newerLeaves : {true, false}) {
        SCOPED_TRACE(newerLeaves ? "the newer leaves" : "the older leaves");
        const AHandle older = AddDevice(kProductBTMouse);
        const AHandle newer = AddDevice(kProductBTMouse);
        Arrive({older});
        Arrive({newer});
        EXPECT_EQ(Types(), (std::vector<int>{kDeviceBTMouse, kDeviceBTMouse}));

        const AHandle leaving = newerLeaves ? newer : older;
        const AHandle staying = newerLeaves ? older : newer;
        EXPECT_EQ(Remove({leaving}), 1);
        EXPECT_EQ(Types(), (std::vector<int>{kDeviceBTMouse}));
        EXPECT_EQ(Open(leaving), 0u);
        EXPECT_EQ(Open(staying), 1u);
        // The device still present still works.
        const size_t runs = fAgent.ScriptRuns().size();
        ASSERT_TRUE(fAgent.Press(staying, AAgentHarness::kButton5));
        EXPECT_TRUE(fAgent.RunUntil([&] { return fAgent.ScriptRuns().size() == runs + 1; }));
        EXPECT_EQ(Remove({staying}), 1);
    }
}

TEST_F(ADiscoveryTest, WhoJoinsTheSet)
{
    fAgent.Start();
    // Another product of the maker with X and Y joins as type -1.
    const AHandle other = AddDevice(4242);
    EXPECT_EQ(Arrive({other}), 1);
    EXPECT_EQ(Types(), (std::vector<int>{kDeviceUnknown}));
    // So does a known product whose properties cannot be read.
    const AHandle unreadable = AddDevice(kProductRFMouse);
    fAgent.HID().SetPropertiesUnreadable(unreadable, true);
    EXPECT_EQ(Arrive({unreadable}), 1);
    EXPECT_EQ(Types(), (std::vector<int>{kDeviceUnknown, kDeviceUnknown}));

    // Not added, and nothing posted: no axes, elements unreadable, open failing.
    const AHandle keyboard = AddDevice(kProductPresenter, kKeyboardOnlyDescriptor);
    const AHandle noElements = AddDevice(kProductPresenter);
    fAgent.HID().SetCopyElementsFails(noElements, true);
    const AHandle closed = AddDevice(kProductPresenter);
    fAgent.HID().SetOpenFails(closed, true);
    EXPECT_EQ(Arrive({keyboard, noElements, closed}), 0);
    EXPECT_EQ(Types().size(), 2u);
    EXPECT_EQ(Open(keyboard) + Open(noElements) + Open(closed), 0u);
    // Their leaving changes nothing either.
    EXPECT_EQ(Remove({keyboard, noElements}), 0);
    EXPECT_EQ(Types().size(), 2u);

    // Reported again once it can be opened (as udev does on a "change"
    // after access was granted), the device joins.
    fAgent.HID().SetOpenFails(closed, false);
    EXPECT_EQ(Arrive({closed}), 1);
    EXPECT_EQ(Types(), (std::vector<int>{kDeviceUnknown, kDeviceUnknown, kDevicePresenter}));
}

TEST_F(ADiscoveryTest, OneNotificationForEachBatchThatChangedTheSet)
{
    fAgent.Start();
    const AHandle a = AddDevice(kProductRFMouse);
    const AHandle b = AddDevice(kProductRFMouse);
    const AHandle c = AddDevice(kProductPresenter);
    const AHandle keyboard = AddDevice(kProductPresenter, kKeyboardOnlyDescriptor);
    EXPECT_EQ(Arrive({a, b, c, keyboard}), 1);
    EXPECT_EQ(fAgent.Manager().GetNumHIDDevices(), 3);
    // The same device reported again keeps its one entry.
    EXPECT_EQ(Arrive({a}), 0);
    EXPECT_EQ(fAgent.Manager().GetNumHIDDevices(), 3);
    EXPECT_EQ(Remove({a, c, keyboard}), 1);
    EXPECT_EQ(Types(), (std::vector<int>{kDeviceRFMouse}));
    EXPECT_EQ(Remove({a}), 0);
    EXPECT_EQ(Remove({b}), 1);
    EXPECT_EQ(fAgent.Manager().GetNumHIDDevices(), 0);
}

TEST_F(ADiscoveryTest, ReferencesFindOpenDevicesOnlyAndAreNeverReused)
{
    fAgent.Start();
    const AHandle a = AddDevice(kProductRFMouse);
    const AHandle b = AddDevice(kProductPresenter);
    // The references a fresh manager has handed out (it counts from 1).
    auto references = [&] {
        std::vector<uint32_t> found;
        for (uint32_t reference = 0; reference < 64; ++reference) {
            if (AHIDDevice* device = fAgent.Manager().FindHIDDevice(reference)) {
                EXPECT_EQ(device->GetReference(), reference);
                found.push_back(reference);
            }
        }
        return found;
    };
    Arrive({a, b});
    const std::vector<uint32_t> before = references();
    ASSERT_EQ(before.size(), 2u);
    EXPECT_EQ(fAgent.Manager().FindHIDDevice(before[0])->GetDeviceType(), kDeviceRFMouse);

    Remove({a});
    EXPECT_EQ(fAgent.Manager().FindHIDDevice(before[0]), nullptr);  // stale
    Arrive({a});
    const std::vector<uint32_t> after = references();
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[0], before[1]);
    EXPECT_EQ(std::count(before.begin(), before.end(), after[1]), 0);  // the device back again has a new one
}
