// What reaches the agent from outside a press: made-up and stale click
// messages, the reload notification, a long burst of presses, the device
// list requests.

#include "tests/support/AAgentHarness.h"

#include "agent/AHIDDevice.h"
#include "platform/ports/AMessagePort.h"
#include "prefs/APrefController.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>

namespace {

using AHandle = AStandInHIDBackend::AHandle;

AMessageData Words(std::initializer_list<uint32_t> words)
{
    AMessageData data(words.size() * 4);
    size_t at = 0;
    for (const uint32_t word : words) {
        std::memcpy(data.data() + at, &word, 4);
        at += 4;
    }
    return data;
}

AMessageData PresentationRecord(uint32_t reference, uint32_t type, size_t size = 52)
{
    AMessageData data(size, 0);
    std::memcpy(data.data(), &reference, 4);
    if (size >= 20)
        std::memcpy(data.data() + 16, &type, 4);
    return data;
}

uint32_t ReferenceOf(ADeviceManager& manager, EDeviceType type)
{
    for (uint32_t reference = 1; reference < 64; ++reference) {
        if (const AHIDDevice* device = manager.FindHIDDevice(reference); device && device->GetDeviceType() == type)
            return reference;
    }
    return 0;
}

// Asks "MouseListPort" from another thread while the agent's loop runs here.
std::optional<AMessageData> RequestDeviceList(AAgentHarness& agent, int32_t messageId = 0,
                                              const AMessageData* payload = nullptr)
{
    std::optional<AMessageData> reply;
    std::atomic<bool> done = false;
    std::thread client([&] {
        if (auto port = ARemoteMessagePort::Create("MouseListPort"))
            port->SendRequest(messageId, payload, 1.0, 1.0, &reply);
        done = true;
    });
    // Nothing on the loop hears the client finish: look every few ms.
    for (int i = 0; i < 1000 && !done; ++i)
        agent.Loop().RunOnce(5'000);
    client.join();
    return reply;
}

std::string Text(const std::optional<AMessageData>& data)
{
    return data ? std::string(data->begin(), data->end()) : "(no reply)";
}

} // namespace

TEST(AAgentMessages, OnlyMessagesFromADeviceInTheSetAreActedOn)
{
    AAgentHarness agent;
    agent.WriteScript("good.sh");
    agent.WriteMapping(MappingXml({{"presenter", 1, {}},
                                   {"btmouse", 0, {{5, "applescript", (agent.ResourceFolder() / "good.sh").string()}}}}));
    agent.Start();
    const AHandle gone = agent.AttachDevice(kProductRFMouse);
    const uint32_t goneReference = ReferenceOf(agent.Manager(), kDeviceRFMouse);
    agent.HID().Remove({gone});
    ASSERT_TRUE(agent.RunUntil([&] { return agent.Manager().GetNumHIDDevices() == 0; }));
    agent.AttachDevice(kProductPresenter);
    const AHandle mouse = agent.AttachDevice(kProductBTMouse);
    const uint32_t presenter = ReferenceOf(agent.Manager(), kDevicePresenter);
    ASSERT_NE(presenter, 0u);
    ASSERT_NE(goneReference, 0u);

    const struct {
        const char* fCase;
        int32_t fId;
        std::optional<AMessageData> fPayload;
        std::vector<std::string> fRuns;
    } cases[] = {
        // A well-formed message from a device in the set is acted on.
        {"valid click", 0, Words({4, presenter}), {"SafariBack.scpt"}},
        {"valid presentation", 1, PresentationRecord(presenter, kDevicePresenter), {"PowerPointStart.scpt"}},
        {"never handed out", 0, Words({4, 999}), {}},
        {"device gone", 0, Words({4, goneReference}), {}},
        {"null reference", 0, Words({4, 0}), {}},
        {"click too short", 0, AMessageData{4, 0, 0, 0, 1, 0, 0}, {}},
        {"click too long", 0, AMessageData{4, 0, 0, 0, 1, 0, 0, 0, 0}, {}},
        {"click without payload", 0, std::nullopt, {}},
        {"presentation of a stranger", 1, PresentationRecord(999, kDevicePresenter), {}},
        {"presentation with a forged type", 1, PresentationRecord(presenter, kDeviceBTMouse), {}},
        {"presentation too short", 1, PresentationRecord(presenter, kDevicePresenter, 51), {}},
        {"presentation too long", 1, PresentationRecord(presenter, kDevicePresenter, 53), {}},
        {"unknown message id", 2, Words({4, presenter}), {}},
    };
    for (const auto& c : cases) {
        const size_t before = agent.ScriptRuns().size();
        auto port = ARemoteMessagePort::Create("MouseClickPort");
        ASSERT_NE(port, nullptr);
        EXPECT_EQ(port->SendRequest(c.fId, c.fPayload ? &*c.fPayload : nullptr, 1.0, 1.0, nullptr),
                  AMessagePortStatus::kSuccess)
            << c.fCase;
        // A real press after it: handled in order, it shows the message done.
        ASSERT_TRUE(agent.Press(mouse, AAgentHarness::kButton4));
        ASSERT_TRUE(agent.RunUntil([&] {
            const auto runs = agent.ScriptRuns();
            return !runs.empty() && runs.back() == "good.sh" && runs.size() > before;
        })) << c.fCase;
        auto runs = agent.ScriptRuns();
        runs.pop_back();
        runs.erase(runs.begin(), runs.begin() + static_cast<std::ptrdiff_t>(before));
        EXPECT_EQ(runs, c.fRuns) << c.fCase;
    }
    EXPECT_EQ(agent.KeyEventsText(), "");
}

TEST(AAgentMessages, TheReloadNotificationMakesTheNextPressUseTheNewMapping)
{
    AAgentHarness agent;
    agent.WriteMapping(MappingXml({{"rfmouse", 0, {{4, "keystroke", "0"}}}}));
    agent.Start();
    const AHandle mouse = agent.AttachDevice(kProductRFMouse);
    ASSERT_TRUE(agent.Press(mouse, AAgentHarness::kButton5));
    ASSERT_TRUE(agent.RunUntil([&] { return agent.KeyEventsText() == "KEY_A down, SYN_REPORT, KEY_A up, SYN_REPORT"; }));

    agent.WriteMapping(MappingXml({{"rfmouse", 0, {{4, "keystroke", "11"}}}}));
    const auto mapped = [&] {
        const AEvent* event = agent.Manager().GetPrefController()->GetEvent(kDeviceRFMouse, 4);
        return event != nullptr ? event->GetLaunchArg() : std::string("(none)");
    };
    // The same name with another object, and the object as a name, do not
    // reload; a notification this test observes, posted after them, shows
    // that they have been delivered.
    ADistributedNotificationCenter observer(&agent.Loop());
    bool barrier = false;
    ASSERT_TRUE(observer.AddObserver(
        &barrier, [](ADistributedNotificationCenter*, void* flag, std::string_view, std::string_view) {
            *static_cast<bool*>(flag) = true;
        },
        "Barrier", std::nullopt));
    agent.Notifications().PostNotification("NuvexaAgent", "Other");
    agent.Notifications().PostNotification("NuvexaAgent", std::nullopt);
    agent.Notifications().PostNotification("PrefChange", std::nullopt);
    agent.Notifications().PostNotification("Barrier", std::nullopt);
    ASSERT_TRUE(agent.RunUntil([&] { return barrier; }));
    EXPECT_EQ(mapped(), "0");

    ASSERT_TRUE(agent.Reload([&] { return mapped() == "11"; }));
    ASSERT_TRUE(agent.Press(mouse, AAgentHarness::kButton5));
    EXPECT_TRUE(agent.RunUntil([&] {
        return agent.KeyEventsText() ==
               "KEY_A down, SYN_REPORT, KEY_A up, SYN_REPORT, KEY_B down, SYN_REPORT, KEY_B up, SYN_REPORT";
    })) << agent.KeyEventsText();
}

TEST(AAgentMessages, TenThousandPressesAreHandledInOrderWithNoneLost)
{
    AAgentHarness agent(AAgentHarness::AKeyboard::kNX);
    agent.WriteMapping(MappingXml({{"btmouse", 0, {{4, "keystroke", "0"}, {5, "keystroke", "11"}}}}));
    agent.Start();
    const AHandle mouse = agent.AttachDevice(kProductBTMouse);
    // Each press: key down, key up, and the action's closing flags change.
    const auto& posts = agent.NXEvents().Posts();
    constexpr size_t kPresses = 10000;
    // Thirty-two presses at a time: sixty-four reports, as many as hidraw
    // keeps for a reader that is held up, and eight times the device's queue.
    constexpr size_t kWindow = 32;
    for (size_t sent = 0; sent < kPresses;) {
        const size_t end = std::min(sent + kWindow, kPresses);
        for (; sent < end; ++sent)
            ASSERT_TRUE(agent.Press(mouse, sent % 2 == 0 ? AAgentHarness::kButton5 : AAgentHarness::kButton4));
        ASSERT_TRUE(agent.RunUntil([&] { return posts.size() >= 3 * sent; })) << posts.size();
    }
    // And a burst that waits in the port meanwhile: a thousand click
    // messages sent before the agent gets to any of them.
    const uint32_t reference = agent.Manager().FindHIDDevice(1) != nullptr ? 1 : 0;
    ASSERT_NE(reference, 0u);
    constexpr size_t kBurst = 1000;
    for (size_t i = 0; i < kBurst; ++i) {
        const AMessageData click = Words({i % 2 == 0 ? 4u : 5u, reference});
        auto port = ARemoteMessagePort::Create("MouseClickPort");
        ASSERT_NE(port, nullptr);
        ASSERT_EQ(port->SendRequest(0, &click, 1.0, 1.0, nullptr), AMessagePortStatus::kSuccess) << i;
    }
    EXPECT_TRUE(agent.RunUntil([&] { return posts.size() >= 3 * (kPresses + kBurst); }, 60.0)) << posts.size();
    ASSERT_EQ(posts.size(), 3 * (kPresses + kBurst));
    size_t outOfOrder = 0;
    for (size_t i = 0; i < posts.size(); i += 3) {
        const uint16_t expected = (i / 3) % 2 == 0 ? 0 : 11;
        outOfOrder += posts[i].fType != NX_KEYDOWN || posts[i].Data().key.keyCode != expected ||
                      posts[i + 1].fType != NX_KEYUP || posts[i + 2].fType != NX_FLAGSCHANGED;
    }
    EXPECT_EQ(outOfOrder, 0u);
}

TEST(AAgentMessages, TheDeviceListNamesEveryOpenDeviceInArrivalOrderWhateverTheRequest)
{
    AAgentHarness agent;
    agent.Start();
    EXPECT_EQ(Text(RequestDeviceList(agent)), "<?xml version=\"1.0\"?>\n<devicelist />\n");

    const AHandle first = agent.AttachDevice(kProductRFMouse);
    EXPECT_EQ(Text(RequestDeviceList(agent)),
              "<?xml version=\"1.0\"?>\n<devicelist>\n    <device type=\"0\" />\n</devicelist>\n");

    agent.AttachDevice(kProductPresenter);
    const std::string rfThenPresenter =
        "<?xml version=\"1.0\"?>\n<devicelist>\n    <device type=\"0\" />\n    <device type=\"2\" />\n</devicelist>\n";
    EXPECT_EQ(Text(RequestDeviceList(agent)), rfThenPresenter);
    const AMessageData payload{'h', 'e', 'l', 'l', 'o'};
    EXPECT_EQ(Text(RequestDeviceList(agent, 7, &payload)), rfThenPresenter);
    EXPECT_EQ(Text(RequestDeviceList(agent, -1, nullptr)), rfThenPresenter);

    agent.AttachDevice(kProductRFMouse);
    agent.AttachDevice(9999);  // the maker's, but none of the three products
    EXPECT_EQ(Text(RequestDeviceList(agent)),
              "<?xml version=\"1.0\"?>\n<devicelist>\n    <device type=\"0\" />\n    <device type=\"2\" />\n"
              "    <device type=\"0\" />\n    <device type=\"-1\" />\n</devicelist>\n");

    agent.HID().Remove({first});
    ASSERT_TRUE(agent.RunUntil([&] { return agent.Manager().GetNumHIDDevices() == 3; }));
    EXPECT_EQ(Text(RequestDeviceList(agent)),
              "<?xml version=\"1.0\"?>\n<devicelist>\n    <device type=\"2\" />\n    <device type=\"0\" />\n"
              "    <device type=\"-1\" />\n</devicelist>\n");

    // Without its manager the handler answers nothing.
    EXPECT_EQ(ADeviceManager::PrefListHandler(nullptr, 0, nullptr, nullptr), std::nullopt);
}
