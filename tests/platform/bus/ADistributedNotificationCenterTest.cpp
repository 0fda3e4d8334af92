#include "platform/bus/ADistributedNotificationCenter.h"
#include "tests/support/APrivateBus.h"

#include <gtest/gtest.h>

namespace {

using ASeen = std::vector<std::pair<std::string, std::string>>;

// Each observer is the address of its own list of what it saw.
void Record(ADistributedNotificationCenter*, void* observer, std::string_view name, std::string_view object)
{
    static_cast<ASeen*>(observer)->emplace_back(name, object);
}

void RecordAndRemove(ADistributedNotificationCenter* center, void* observer, std::string_view name, std::string_view object)
{
    Record(center, observer, name, object);
    center->RemoveObserver(observer, name, object);
}

} // namespace

// Which name and object an observation matches is checked with the agent's
// reload notification (AAgentDispatch); these are the edges around it.
TEST(ADistributedNotificationCenter, ObservationsAreKeptOnceMatchQuotedNamesExactlyGoWhenRemovedAndNeedABus)
{
    auto bus = std::make_unique<APrivateBus>();
    AEventLoop loop;
    ADistributedNotificationCenter center(&loop);
    ASeen twice, anyObject, asName, quoted, once, sentinel, seen;
    ASSERT_TRUE(center.AddObserver(&sentinel, Record, "Sentinel", std::nullopt));
    // The poster, without a loop as the command-line client makes it, is gone
    // before anything is observed, so what it posted must have been flushed;
    // all has been delivered once the closing sentinel is seen.
    const auto postAndObserve = [&](const std::vector<std::pair<std::string, std::string>>& posts) {
        {
            ADistributedNotificationCenter poster(nullptr);
            for (const auto& [name, object] : posts)
                EXPECT_TRUE(poster.PostNotification(name, object));
            EXPECT_TRUE(poster.PostNotification("Sentinel", std::nullopt));
        }
        const size_t before = sentinel.size();
        EXPECT_TRUE(loop.RunUntil([&] { return sentinel.size() > before; }, 10'000'000));
    };
    for (int i = 0; i < 2; ++i)
        ASSERT_TRUE(center.AddObserver(&twice, Record, "NuvexaAgent", "PrefChange"));
    ASSERT_TRUE(center.AddObserver(&anyObject, Record, "NuvexaAgent", std::nullopt));
    ASSERT_TRUE(center.AddObserver(&asName, Record, "PrefChange", std::nullopt));
    ASSERT_TRUE(center.AddObserver(&quoted, Record, "It's", "a 'quoted' \\ value"));
    ASSERT_TRUE(center.AddObserver(&once, RecordAndRemove, "NuvexaPreferences", ""));
    postAndObserve({{"NuvexaAgent", "PrefChange"}, {"NuvexaAgent", "Other"}, {"PrefChange", ""}, {"NuvexaPreferences", ""},
                    {"NuvexaPreferences", ""}, {"It's", "a 'quoted' \\ value"}, {"It's", "a 'quoted' value"},
                    {"Its", "a 'quoted' \\ value"}});
    EXPECT_EQ(twice, (ASeen{{"NuvexaAgent", "PrefChange"}})) << "added twice, called once";
    EXPECT_EQ(anyObject, (ASeen{{"NuvexaAgent", "PrefChange"}, {"NuvexaAgent", "Other"}})) << "without an object, any";
    EXPECT_EQ(asName, (ASeen{{"PrefChange", ""}})) << "a name is not matched against objects";
    EXPECT_EQ(quoted, (ASeen{{"It's", "a 'quoted' \\ value"}})) << "names that need quoting match exactly";
    EXPECT_EQ(once, (ASeen{{"NuvexaPreferences", ""}})) << "an observer that removed itself while called";
    center.RemoveObserver(&twice, "NuvexaAgent", "PrefChange");
    center.RemoveObserver(&anyObject, "NuvexaAgent", "PrefChange");
    postAndObserve({{"NuvexaAgent", "PrefChange"}});
    EXPECT_EQ(twice.size(), 1u) << "one removal takes the observation added twice";
    EXPECT_EQ(anyObject.size(), 3u) << "and only the observation named";

    // Without a bus every operation is a quiet no-op.
    ADistributedNotificationCenter posting(nullptr);
    EXPECT_FALSE(posting.AddObserver(&seen, Record, "NuvexaAgent", std::nullopt)) << "without a loop it only posts";
    EXPECT_TRUE(posting.PostNotification("Nobody", std::nullopt)) << "nobody listening is not a failure";
    bus.reset();
    EXPECT_FALSE(posting.PostNotification("NuvexaAgent", std::nullopt) || posting.IsConnected()) << "the bus has gone";
    EXPECT_TRUE(loop.RunUntil([&] { return !center.IsConnected(); }, 10'000'000)) << "noticed on the loop";
    EXPECT_FALSE(center.PostNotification("NuvexaAgent", std::nullopt));

    // One made without a bus does nothing at all, though it has a loop.
    AScopedEnvironment noBus("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    ADistributedNotificationCenter unconnected(&loop);
    EXPECT_FALSE(unconnected.IsConnected() || unconnected.PostNotification("NuvexaAgent", "PrefChange") ||
                 unconnected.AddObserver(&seen, Record, "NuvexaAgent", "PrefChange"));
    unconnected.RemoveObserver(&seen, "NuvexaAgent", "PrefChange");
    EXPECT_TRUE(seen.empty());
}
