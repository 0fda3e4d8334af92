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

// Posts from a centre of its own without a loop, as a command-line client
// does, ending with a sentinel; the poster is gone before anything is
// observed, so what it posted must have been flushed.
void PostFromAnotherProcessLikeClient(const std::vector<std::pair<std::string, std::optional<std::string>>>& posts)
{
    ADistributedNotificationCenter poster(nullptr);
    ASSERT_TRUE(poster.IsConnected());
    for (const auto& [name, object] : posts)
        EXPECT_TRUE(poster.PostNotification(name, object ? std::optional<std::string_view>(*object) : std::nullopt));
    EXPECT_TRUE(poster.PostNotification("Sentinel", std::nullopt));
}

// Runs the loop until the sentinel arrives: one sender's signals arrive in
// the order they were sent, so everything before it has been delivered.
bool ObserveUntilSentinel(AEventLoop& loop, ASeen& sentinel)
{
    const size_t before = sentinel.size();
    return loop.RunUntil([&] { return sentinel.size() > before; }, 10'000'000);
}

} // namespace

TEST(ADistributedNotificationCenter, ObserversSeeTheirNameAndObjectOnly)
{
    APrivateBus bus;
    AEventLoop loop;
    ADistributedNotificationCenter center(&loop);
    ASSERT_TRUE(center.IsConnected());
    ASeen reload, anyAgent, prefChangeName, sentinel;
    ASSERT_TRUE(center.AddObserver(&reload, Record, "NuvexaAgent", "PrefChange"));
    ASSERT_TRUE(center.AddObserver(&anyAgent, Record, "NuvexaAgent", std::nullopt));
    ASSERT_TRUE(center.AddObserver(&prefChangeName, Record, "PrefChange", std::nullopt));
    ASSERT_TRUE(center.AddObserver(&sentinel, Record, "Sentinel", std::nullopt));

    PostFromAnotherProcessLikeClient({
        {"NuvexaAgent", "PrefChange"},
        {"NuvexaAgent", "Other"},
        {"PrefChange", std::nullopt},
        {"NuvexaAgent", std::nullopt},
        {"NuvexaPreferences", std::nullopt},
    });
    ASSERT_TRUE(ObserveUntilSentinel(loop, sentinel));

    EXPECT_EQ(reload, (ASeen{{"NuvexaAgent", "PrefChange"}})) << "the same name with another object is not seen";
    EXPECT_EQ(anyAgent, (ASeen{{"NuvexaAgent", "PrefChange"}, {"NuvexaAgent", "Other"}, {"NuvexaAgent", ""}}));
    EXPECT_EQ(prefChangeName, (ASeen{{"PrefChange", ""}}));
}

TEST(ADistributedNotificationCenter, NamesThatNeedQuotingAreMatchedExactly)
{
    APrivateBus bus;
    AEventLoop loop;
    ADistributedNotificationCenter center(&loop);
    ASeen quoted, sentinel;
    ASSERT_TRUE(center.AddObserver(&quoted, Record, "It's", "a 'quoted' \\ value"));
    ASSERT_TRUE(center.AddObserver(&sentinel, Record, "Sentinel", std::nullopt));
    PostFromAnotherProcessLikeClient({{"It's", "a 'quoted' \\ value"}, {"It's", "a 'quoted' value"}, {"Its", "a 'quoted' \\ value"}});
    ASSERT_TRUE(ObserveUntilSentinel(loop, sentinel));
    EXPECT_EQ(quoted, (ASeen{{"It's", "a 'quoted' \\ value"}}));
}

TEST(ADistributedNotificationCenter, RemovedObserverIsNoLongerCalledAndAddingTwiceCountsOnce)
{
    APrivateBus bus;
    AEventLoop loop;
    ADistributedNotificationCenter center(&loop);
    ASeen reload, other, sentinel;
    ASSERT_TRUE(center.AddObserver(&reload, Record, "NuvexaAgent", "PrefChange"));
    ASSERT_TRUE(center.AddObserver(&reload, Record, "NuvexaAgent", "PrefChange"));
    ASSERT_TRUE(center.AddObserver(&other, Record, "NuvexaAgent", "PrefChange"));
    ASSERT_TRUE(center.AddObserver(&sentinel, Record, "Sentinel", std::nullopt));
    PostFromAnotherProcessLikeClient({{"NuvexaAgent", "PrefChange"}});
    ASSERT_TRUE(ObserveUntilSentinel(loop, sentinel));
    EXPECT_EQ(reload.size(), 1u);

    center.RemoveObserver(&reload, "NuvexaAgent", "PrefChange");
    // Removing what is not there changes nothing.
    center.RemoveObserver(&reload, "NuvexaAgent", "PrefChange");
    center.RemoveObserver(&other, "NuvexaAgent", std::nullopt);
    PostFromAnotherProcessLikeClient({{"NuvexaAgent", "PrefChange"}});
    ASSERT_TRUE(ObserveUntilSentinel(loop, sentinel));
    EXPECT_EQ(reload.size(), 1u);
    EXPECT_EQ(other.size(), 2u);
}

namespace {

struct ASelfRemoving {
    int fCalls = 0;
};

void RemoveSelf(ADistributedNotificationCenter* center, void* observer, std::string_view name, std::string_view object)
{
    ++static_cast<ASelfRemoving*>(observer)->fCalls;
    center->RemoveObserver(observer, name, object);
}

} // namespace

TEST(ADistributedNotificationCenter, ObserverMayRemoveItselfWhileCalled)
{
    APrivateBus bus;
    AEventLoop loop;
    ADistributedNotificationCenter center(&loop);
    ASelfRemoving once;
    ASeen sentinel;
    ASSERT_TRUE(center.AddObserver(&once, RemoveSelf, "NuvexaPreferences", ""));
    ASSERT_TRUE(center.AddObserver(&sentinel, Record, "Sentinel", std::nullopt));
    PostFromAnotherProcessLikeClient({{"NuvexaPreferences", std::nullopt}, {"NuvexaPreferences", std::nullopt}});
    ASSERT_TRUE(ObserveUntilSentinel(loop, sentinel));
    EXPECT_EQ(once.fCalls, 1);
}

TEST(ADistributedNotificationCenter, WithoutASessionBusEveryOperationIsAQuietNoOp)
{
    ATemporaryFolder empty;
    struct ACase {
        const char* fRule;
        std::optional<std::string> fAddress;
    } cases[] = {
        {"an address where no daemon listens", "unix:path=" + (empty.Path() / "bus").string()},
        {"no address and no bus in the runtime folder", std::nullopt},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.fRule);
        AScopedEnvironment address("DBUS_SESSION_BUS_ADDRESS", test.fAddress.value_or(""));
        if (!test.fAddress)
            unsetenv("DBUS_SESSION_BUS_ADDRESS");
        AScopedEnvironment runtime("XDG_RUNTIME_DIR", empty.Path().string());
        AEventLoop loop;
        for (AEventLoop* withLoop : {&loop, static_cast<AEventLoop*>(nullptr)}) {
            ADistributedNotificationCenter center(withLoop);
            ASeen seen;
            EXPECT_FALSE(center.IsConnected());
            EXPECT_FALSE(center.PostNotification("NuvexaAgent", "PrefChange"));
            EXPECT_FALSE(center.AddObserver(&seen, Record, "NuvexaAgent", "PrefChange"));
            center.RemoveObserver(&seen, "NuvexaAgent", "PrefChange");
        }
    }
}

TEST(ADistributedNotificationCenter, CentreWithoutALoopOnlyPostsAndOneOnALoopHearsItself)
{
    APrivateBus bus;
    ADistributedNotificationCenter poster(nullptr);
    ASeen seen;
    EXPECT_TRUE(poster.IsConnected());
    EXPECT_FALSE(poster.AddObserver(&seen, Record, "NuvexaAgent", "PrefChange"));
    EXPECT_TRUE(poster.PostNotification("NuvexaAgent", "PrefChange")) << "nobody listening is not a failure";

    AEventLoop loop;
    ADistributedNotificationCenter center(&loop);
    ASSERT_TRUE(center.AddObserver(&seen, Record, "NuvexaPreferences", std::nullopt));
    EXPECT_TRUE(center.PostNotification("NuvexaPreferences", std::nullopt));
    EXPECT_TRUE(loop.RunUntil([&] { return !seen.empty(); }, 10'000'000));
}

TEST(ADistributedNotificationCenter, BusThatGoesAwayMakesPostsFailQuietly)
{
    auto bus = std::make_unique<APrivateBus>();
    AEventLoop loop;
    ADistributedNotificationCenter observing(&loop);
    ADistributedNotificationCenter posting(nullptr);
    ASeen seen;
    ASSERT_TRUE(observing.AddObserver(&seen, Record, "NuvexaAgent", std::nullopt));
    ASSERT_TRUE(posting.PostNotification("NuvexaAgent", std::nullopt));
    bus.reset();
    EXPECT_FALSE(posting.PostNotification("NuvexaAgent", std::nullopt));
    EXPECT_FALSE(posting.IsConnected());
    // The observing side notices on its loop and carries on without the bus.
    EXPECT_TRUE(loop.RunUntil([&] { return !observing.IsConnected(); }, 10'000'000));
    EXPECT_FALSE(observing.PostNotification("NuvexaAgent", std::nullopt));
}
