#include "platform/ports/AMessagePacket.h"
#include "platform/ports/AMessagePort.h"
#include "tests/platform/ports/AMessagePortTestKit.h"
#include "tests/support/AUnprivilegedUser.h"

#include <gtest/gtest.h>

#include <csignal>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>

namespace {

std::optional<AMessageData> AnswerCallout(ALocalMessagePort*, int32_t, const AMessageData*, void*)
{
    return AMessageData{42};
}

// A child process serving `name`; the result is its pid once it serves.
pid_t ForkServingChild(const std::string& name)
{
    int ready[2];
    if (pipe(ready) != 0)
        return -1;
    const pid_t child = fork();
    if (child == 0) {
        close(ready[0]);
        AEventLoop loop;
        auto port = ALocalMessagePort::Create(loop, name, AnswerCallout, nullptr);
        const char served = port ? 1 : 0;
        (void)!write(ready[1], &served, 1);
        if (port)
            loop.Run();
        _exit(0);
    }
    close(ready[1]);
    char served = 0;
    const bool ok = child > 0 && read(ready[0], &served, 1) == 1 && served == 1;
    close(ready[0]);
    return ok ? child : -1;
}

struct stat StatOf(const std::filesystem::path& path)
{
    struct stat info {};
    lstat(path.c_str(), &info);
    return info;
}

// What the other user's client saw, as its exit status.
enum AForeignOutcome { kNotServed = 0, kCannotBecomeOther, kLookupSucceeded, kCannotConnect, kCannotSend, kGotReply, kNoAnswer };

// Runs in a child as `user`: looks the port up, then talks to its socket
// directly, past the folder's protection the test has opened.
int TryAsOtherUser(const AUnprivilegedUser& user, const std::string& socketPath)
{
    if (!user.Become())
        return kCannotBecomeOther;
    if (ARemoteMessagePort::Create("Guarded"))
        return kLookupSucceeded;
    const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    socketPath.copy(address.sun_path, sizeof(address.sun_path) - 1);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return kCannotConnect;
    const AMessagePacketHeader request{kMessagePacketMagic, 1, kPacketWantsReply};
    if (send(fd, &request, sizeof request, MSG_NOSIGNAL) < 0 && errno != EPIPE && errno != ECONNRESET)
        return kCannotSend;
    pollfd watched{fd, POLLIN, 0};
    if (poll(&watched, 1, 20000) != 1)
        return kNoAnswer;
    char byte;
    return recv(fd, &byte, 1, MSG_DONTWAIT) > 0 ? kGotReply : kNotServed;
}

} // namespace

TEST(AMessagePortOwnership, NameHeldByALiveProcessIsRefusedAndReclaimedAfterItIsKilled)
{
    APrivateRuntimeFolder runtime;
    const pid_t holder = ForkServingChild("Held");
    ASSERT_GT(holder, 0);
    AEventLoop loop;
    AMessageRecorder recorder;
    EXPECT_FALSE(ALocalMessagePort::Create(loop, "Held", AMessageRecorder::Callout, &recorder));
    std::optional<AMessageData> reply;
    EXPECT_EQ(SendOnce("Held", 0, nullptr, &reply), AMessagePortStatus::kSuccess);
    EXPECT_EQ(reply, AMessageData{42});

    ASSERT_EQ(kill(holder, SIGKILL), 0);
    ASSERT_EQ(waitpid(holder, nullptr, 0), holder);
    // The dead holder's socket is still there, but nobody serves it.
    EXPECT_TRUE(std::filesystem::exists(runtime.PortFolder() / "Held"));
    EXPECT_FALSE(ARemoteMessagePort::Create("Held"));

    auto local = ALocalMessagePort::Create(loop, "Held", AMessageRecorder::Callout, &recorder);
    ASSERT_TRUE(local);
    const AMessageData payload{7};
    EXPECT_EQ(SendOnce("Held", 3, &payload), AMessagePortStatus::kSuccess);
    ASSERT_TRUE(loop.RunUntil([&] { return recorder.Count() == 1; }, 5'000'000));
    EXPECT_EQ(recorder.Messages()[0].fPayload, payload);
}

TEST(AMessagePortOwnership, ClientOfAnotherUserIsClosedWithoutBeingServed)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "acting as another user needs root";
    const AUnprivilegedUser other = AUnprivilegedUser::Nobody();

    APrivateRuntimeFolder runtime;
    AEventLoop loop;
    AMessageRecorder recorder;
    auto local = ALocalMessagePort::Create(loop, "Guarded", AMessageRecorder::Callout, &recorder);
    ASSERT_TRUE(local);
    // Open the folders and the socket so that the other user's connection
    // gets as far as the port's own credential check.
    const auto socketPath = runtime.PortFolder() / "Guarded";
    ASSERT_EQ(chmod(runtime.Path().c_str(), 0711), 0);
    ASSERT_EQ(chmod(runtime.PortFolder().c_str(), 0711), 0);
    ASSERT_EQ(chmod(socketPath.c_str(), 0777), 0);

    const pid_t child = fork();
    if (child == 0)
        _exit(TryAsOtherUser(other, socketPath));
    ASSERT_GT(child, 0);
    AFileDescriptor exitWatch(static_cast<int>(syscall(SYS_pidfd_open, child, 0)));
    ASSERT_TRUE(exitWatch);
    bool exited = false;
    AEventSource watch = loop.AddIO(exitWatch.Get(), EPOLLIN, [&](uint32_t) { exited = true; });
    EXPECT_TRUE(loop.RunUntil([&] { return exited; }, 30'000'000));
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), kNotServed);
    EXPECT_EQ(recorder.Count(), 0u);

    // The port still serves its own user.
    const AMessageData payload{1};
    EXPECT_EQ(SendOnce("Guarded", 2, &payload), AMessagePortStatus::kSuccess);
    ASSERT_TRUE(loop.RunUntil([&] { return recorder.Count() == 1; }, 5'000'000));
}

TEST(AMessagePortFolder, FolderIsMadePrivateAndMustBeARealFolder)
{
    APrivateRuntimeFolder runtime;
    EXPECT_EQ(GetMessagePortFolder(), runtime.PortFolder().string());
    EXPECT_TRUE(S_ISDIR(StatOf(runtime.PortFolder()).st_mode));
    EXPECT_EQ(StatOf(runtime.PortFolder()).st_mode & 07777, 0700u);
    EXPECT_EQ(StatOf(runtime.PortFolder()).st_uid, geteuid());

    ASSERT_EQ(chmod(runtime.PortFolder().c_str(), 0755), 0);
    EXPECT_EQ(GetMessagePortFolder(), runtime.PortFolder().string());
    EXPECT_EQ(StatOf(runtime.PortFolder()).st_mode & 07777, 0700u);

    // A symbolic link in its place could lead anywhere: refused.
    std::filesystem::remove(runtime.PortFolder());
    std::filesystem::create_directory(runtime.Path() / "elsewhere");
    std::filesystem::create_directory_symlink(runtime.Path() / "elsewhere", runtime.PortFolder());
    EXPECT_EQ(GetMessagePortFolder(), "");
    AEventLoop loop;
    EXPECT_FALSE(ALocalMessagePort::Create(loop, "Anything", AnswerCallout, nullptr));
}

TEST(AMessagePortFolder, RuntimeFolderThatIsNotPrivatelyOursIsRefused)
{
    ATemporaryFolder base;
    const auto open = base.Path() / "open";
    std::filesystem::create_directory(open);
    ASSERT_EQ(chmod(open.c_str(), 0777), 0);
    struct ACase {
        const char* fRule;
        std::string fRuntime;
    } cases[] = {
        {"a relative path", "relative/run"},
        {"a path that does not exist", (base.Path() / "missing").string()},
        {"a folder others may write to", open.string()},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.fRule);
        AScopedEnvironment environment("XDG_RUNTIME_DIR", test.fRuntime);
        EXPECT_EQ(GetMessagePortFolder(), "");
    }
    if (geteuid() == 0) {
        const auto foreign = base.Path() / "foreign";
        std::filesystem::create_directory(foreign);
        ASSERT_EQ(chown(foreign.c_str(), 65534, 65534), 0);
        AScopedEnvironment environment("XDG_RUNTIME_DIR", foreign.string());
        EXPECT_EQ(GetMessagePortFolder(), "") << "another user's folder";
    }
}

TEST(AMessagePortFolder, WithoutARuntimeVariableTheUsersOwnFolderIsUsed)
{
    AScopedEnvironment restore("XDG_RUNTIME_DIR", "");
    unsetenv("XDG_RUNTIME_DIR");
    const std::string uid = std::to_string(geteuid());
    const struct stat perUser = StatOf("/run/user/" + uid);
    const bool hasPerUser = S_ISDIR(perUser.st_mode) && perUser.st_uid == geteuid();
    const std::filesystem::path expected = hasPerUser ? "/run/user/" + uid + "/nuvexa" : "/tmp/nuvexa-" + uid;
    const bool existed = std::filesystem::exists(expected);
    EXPECT_EQ(GetMessagePortFolder(), expected.string());
    EXPECT_EQ(StatOf(expected).st_mode & 07777, 0700u);
    EXPECT_EQ(StatOf(expected).st_uid, geteuid());
    if (!existed)
        rmdir(expected.c_str());
}
