#include "platform/bus/ADistributedNotificationCenter.h"
#include "tests/support/APrivateBus.h"

#include <gtest/gtest.h>

namespace {

using ASeen = std::vector<std::pair<std::string, std::string>>;
using APosts = std::vector<std::pair<std::string, std::optional<std::string>>>;

// Each observer is the address of its own list of what it saw; an observer
// given no list removes its observation while it is called.
void Record(ADistributedNotificationCenter* center, void* observer, std::string_view name, std::string_view object)
{
    if (observer == nullptr)
        center->RemoveObserver(observer, name, object);
    else
        static_cast<ASeen*>(observer)->emplace_back(name, object);
}

// The test's centre on a loop, and posts from a centre of their own without a
// loop, as a command-line client makes them.
struct ACenters {
    APrivateBus fBus;
    AEventLoop fLoop;
    ADistributedNotificationCenter fCenter{&fLoop};
    ASeen fSentinel;
    bool fObserving = fCenter.AddObserver(&fSentinel, Record, "Sentinel", std::nullopt);

    // The poster is gone before anything is observed, so what it posted must
    // have been flushed; one sender's signals arrive in order, so all have
    // been delivered once the closing sentinel is seen.
    void PostAndObserve(const APosts& posts)
    {
        {
            ADistributedNotificationCenter poster(nullptr);
            for (const auto& [name, object] : posts)
                EXPECT_TRUE(poster.PostNotification(name, object));
            EXPECT_TRUE(poster.PostNotification("Sentinel", std::nullopt));
        }
        const size_t before = fSentinel.size();
        EXPECT_TRUE(fLoop.RunUntil([&] { return fSentinel.size() > before; }, 10'000'000));
    }
};

} // namespace

TEST(ADistributedNotificationCenter, ObserversSeeTheirNameAndObjectOnly)
{
    ACenters centers;
    ASeen reload, anyAgent, prefChangeName, quoted;
    ASSERT_TRUE(centers.fObserving);
    ASSERT_TRUE(centers.fCenter.AddObserver(&reload, Record, "NuvexaAgent", "PrefChange"));
    ASSERT_TRUE(centers.fCenter.AddObserver(&anyAgent, Record, "NuvexaAgent", std::nullopt));
    ASSERT_TRUE(centers.fCenter.AddObserver(&prefChangeName, Record, "PrefChange", std::nullopt));
    ASSERT_TRUE(centers.fCenter.AddObserver(&quoted, Record, "It's", "a 'quoted' \\ value"));
    centers.PostAndObserve({{"NuvexaAgent", "PrefChange"}, {"NuvexaAgent", "Other"}, {"PrefChange", std::nullopt},
                            {"NuvexaAgent", std::nullopt}, {"NuvexaPreferences", std::nullopt},
                            {"It's", "a 'quoted' \\ value"}, {"It's", "a 'quoted' value"}, {"Its", "a 'quoted' \\ value"}});
    EXPECT_EQ(reload, (ASeen{{"NuvexaAgent", "PrefChange"}})) << "the same name with another object is not seen";
    EXPECT_EQ(anyAgent, (ASeen{{"NuvexaAgent", "PrefChange"}, {"NuvexaAgent", "Other"}, {"NuvexaAgent", ""}}));
    EXPECT_EQ(prefChangeName, (ASeen{{"PrefChange", ""}}));
    EXPECT_EQ(quoted, (ASeen{{"It's", "a 'quoted' \\ value"}})) << "names that need quoting match exactly";
}

TEST(ADistributedNotificationCenter, ObservationIsKeptOnceAndRemovedExactly)
{
    ACenters centers;
    ASeen reload, other;
    ASSERT_TRUE(centers.fCenter.AddObserver(&reload, Record, "NuvexaAgent", "PrefChange"));
    ASSERT_TRUE(centers.fCenter.AddObserver(&reload, Record, "NuvexaAgent", "PrefChange"));
    ASSERT_TRUE(centers.fCenter.AddObserver(&other, Record, "NuvexaAgent", "PrefChange"));
    ASSERT_TRUE(centers.fCenter.AddObserver(nullptr, Record, "NuvexaPreferences", ""));
    centers.PostAndObserve({{"NuvexaAgent", "PrefChange"}, {"NuvexaPreferences", std::nullopt}});
    EXPECT_EQ(reload.size(), 1u) << "adding twice observes once";

    for (int twice = 0; twice < 2; ++twice)
        centers.fCenter.RemoveObserver(&reload, "NuvexaAgent", "PrefChange");
    centers.fCenter.RemoveObserver(&other, "NuvexaAgent", std::nullopt);
    // The observer that removed itself while called is not called again.
    centers.fCenter.AddObserver(&other, Record, "NuvexaPreferences", "");
    centers.PostAndObserve({{"NuvexaAgent", "PrefChange"}, {"NuvexaPreferences", std::nullopt}});
    EXPECT_EQ(reload.size(), 1u);
    EXPECT_EQ(other, (ASeen{{"NuvexaAgent", "PrefChange"}, {"NuvexaAgent", "PrefChange"}, {"NuvexaPreferences", ""}}));
}

TEST(ADistributedNotificationCenter, WithoutASessionBusEveryOperationIsAQuietNoOp)
{
    ATemporaryFolder empty;
    AScopedEnvironment runtime("XDG_RUNTIME_DIR", empty.Path().string());
    for (const char* address : {"unix:path=/nonexistent/bus", static_cast<const char*>(nullptr)}) {
        SCOPED_TRACE(address != nullptr ? "an address where no daemon listens" : "no address, no bus in the runtime folder");
        AScopedEnvironment variable("DBUS_SESSION_BUS_ADDRESS", address != nullptr ? address : "");
        if (address == nullptr)
            unsetenv("DBUS_SESSION_BUS_ADDRESS");
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

TEST(ADistributedNotificationCenter, CentreHearsItselfAndPostsFailQuietlyOnceTheBusHasGone)
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
    EXPECT_FALSE(posting.PostNotification("NuvexaAgent", std::nullopt));
    EXPECT_FALSE(posting.IsConnected());
    // The observing side notices on its loop and carries on without the bus.
    EXPECT_TRUE(loop.RunUntil([&] { return !observing.IsConnected(); }, 10'000'000));
    EXPECT_FALSE(observing.PostNotification("NuvexaAgent", std::nullopt));
}
