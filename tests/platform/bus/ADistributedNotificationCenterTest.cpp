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

TEST(ADistributedNotificationCenter, ObserversSeeTheirNameAndObjectOnlyUntilRemoved)
{
    APrivateBus bus;
    AEventLoop loop;
    ADistributedNotificationCenter center(&loop);
    ASeen reload, anyAgent, prefChangeName, quoted, once, sentinel;
    ASSERT_TRUE(center.AddObserver(&sentinel, Record, "Sentinel", std::nullopt));
    // Posts from a centre without a loop, as the command-line client makes
    // them. The poster is gone before anything is observed, so what it posted
    // must have been flushed; one sender's signals arrive in order, so all
    // have been delivered once the closing sentinel is seen.
    const auto postAndObserve = [&](const std::vector<std::pair<std::string, std::optional<std::string>>>& posts) {
        {
            ADistributedNotificationCenter poster(nullptr);
            for (const auto& [name, object] : posts)
                EXPECT_TRUE(poster.PostNotification(name, object));
            EXPECT_TRUE(poster.PostNotification("Sentinel", std::nullopt));
        }
        const size_t before = sentinel.size();
        EXPECT_TRUE(loop.RunUntil([&] { return sentinel.size() > before; }, 10'000'000));
    };
    for (int twice = 0; twice < 2; ++twice)
        ASSERT_TRUE(center.AddObserver(&reload, Record, "NuvexaAgent", "PrefChange"));
    ASSERT_TRUE(center.AddObserver(&anyAgent, Record, "NuvexaAgent", std::nullopt));
    ASSERT_TRUE(center.AddObserver(&prefChangeName, Record, "PrefChange", std::nullopt));
    ASSERT_TRUE(center.AddObserver(&quoted, Record, "It's", "a 'quoted' \\ value"));
    ASSERT_TRUE(center.AddObserver(&once, RecordAndRemove, "NuvexaPreferences", ""));
    postAndObserve({{"NuvexaAgent", "PrefChange"}, {"NuvexaAgent", "Other"}, {"PrefChange", std::nullopt},
                    {"NuvexaAgent", std::nullopt}, {"NuvexaPreferences", std::nullopt}, {"NuvexaPreferences", ""},
                    {"It's", "a 'quoted' \\ value"}, {"It's", "a 'quoted' value"}, {"Its", "a 'quoted' \\ value"}});
    EXPECT_EQ(reload, (ASeen{{"NuvexaAgent", "PrefChange"}})) << "added twice, called once; another object is not seen";
    EXPECT_EQ(anyAgent, (ASeen{{"NuvexaAgent", "PrefChange"}, {"NuvexaAgent", "Other"}, {"NuvexaAgent", ""}}));
    EXPECT_EQ(prefChangeName, (ASeen{{"PrefChange", ""}}));
    EXPECT_EQ(quoted, (ASeen{{"It's", "a 'quoted' \\ value"}})) << "names that need quoting match exactly";
    EXPECT_EQ(once, (ASeen{{"NuvexaPreferences", ""}})) << "an observer that removed itself while called";

    // Removing takes exactly the observation named, once.
    for (int twice = 0; twice < 2; ++twice)
        center.RemoveObserver(&reload, "NuvexaAgent", "PrefChange");
    center.RemoveObserver(&anyAgent, "NuvexaAgent", "PrefChange");
    postAndObserve({{"NuvexaAgent", "PrefChange"}});
    EXPECT_EQ(reload.size(), 1u);
    EXPECT_EQ(anyAgent.size(), 4u);
}

TEST(ADistributedNotificationCenter, CentreHearsItselfAndWithoutABusEveryOperationIsAQuietNoOp)
{
    auto bus = std::make_unique<APrivateBus>();
    AEventLoop loop;
    ADistributedNotificationCenter observing(&loop), posting(nullptr);
    ASeen seen;
    EXPECT_FALSE(posting.AddObserver(&seen, Record, "NuvexaAgent", std::nullopt)) << "without a loop it only posts";
    EXPECT_TRUE(posting.PostNotification("Nobody", std::nullopt)) << "nobody listening is not a failure";
    ASSERT_TRUE(observing.AddObserver(&seen, Record, "NuvexaAgent", std::nullopt));
    EXPECT_TRUE(observing.PostNotification("NuvexaAgent", std::nullopt));
    EXPECT_TRUE(loop.RunUntil([&] { return seen.size() == 1; }, 10'000'000)) << "a centre on a loop hears itself";
    bus.reset();
    EXPECT_FALSE(posting.PostNotification("NuvexaAgent", std::nullopt)) << "the bus has gone";
    EXPECT_FALSE(posting.IsConnected());
    EXPECT_TRUE(loop.RunUntil([&] { return !observing.IsConnected(); }, 10'000'000)) << "noticed on the loop";
    EXPECT_FALSE(observing.PostNotification("NuvexaAgent", std::nullopt));

    ATemporaryFolder empty;
    AScopedEnvironment runtime("XDG_RUNTIME_DIR", empty.Path().string());
    for (const char* address : {"unix:path=/nonexistent/bus", static_cast<const char*>(nullptr)}) {
        SCOPED_TRACE(address != nullptr ? "an address where no daemon listens" : "no address, no bus in the runtime folder");
        AScopedEnvironment variable("DBUS_SESSION_BUS_ADDRESS", address != nullptr ? address : "");
        if (address == nullptr)
            unsetenv("DBUS_SESSION_BUS_ADDRESS");
        for (AEventLoop* withLoop : {&loop, static_cast<AEventLoop*>(nullptr)}) {
            ADistributedNotificationCenter center(withLoop);
            EXPECT_FALSE(center.IsConnected());
            EXPECT_FALSE(center.PostNotification("NuvexaAgent", "PrefChange"));
            EXPECT_FALSE(center.AddObserver(&seen, Record, "NuvexaAgent", "PrefChange"));
            center.RemoveObserver(&seen, "NuvexaAgent", "PrefChange");
        }
    }
}
