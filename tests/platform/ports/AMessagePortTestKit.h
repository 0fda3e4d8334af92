#pragma once
// Helpers for the message-port tests: a private runtime folder per test, a
// record of what a port's callout received, and a port served by a loop on a
// thread of its own (so that a client on the test thread may block).

#include "platform/ports/AMessagePort.h"
#include "tests/support/ATestPaths.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <future>
#include <mutex>
#include <thread>
#include <unistd.h>

// XDG_RUNTIME_DIR pointing at a fresh temporary folder for the test's life.
class APrivateRuntimeFolder {
public:
    APrivateRuntimeFolder() : fEnvironment("XDG_RUNTIME_DIR", fFolder.Path().string()) {}
    std::filesystem::path PortFolder() const { return fFolder.Path() / "nuvexa"; }
    const std::filesystem::path& Path() const { return fFolder.Path(); }

private:
    ATemporaryFolder fFolder;
    AScopedEnvironment fEnvironment;
};

struct AReceivedMessage {
    int32_t fMessageId = 0;
    std::optional<AMessageData> fPayload;
};

// What a callout saw, safe to read from another thread.
class AMessageRecorder {
public:
    // A port's callout that records into the recorder given as its info and
    // sends no reply.
    static std::optional<AMessageData> Callout(ALocalMessagePort*, int32_t messageId, const AMessageData* payload,
                                               void* info)
    {
        static_cast<AMessageRecorder*>(info)->Record(messageId, payload);
        return std::nullopt;
    }

    void Record(int32_t messageId, const AMessageData* payload)
    {
        std::lock_guard lock(fLock);
        fMessages.push_back({messageId, payload != nullptr ? std::optional(*payload) : std::nullopt});
        fChanged.notify_all();
    }
    bool WaitForCount(size_t count, std::chrono::seconds timeout = std::chrono::seconds(20))
    {
        std::unique_lock lock(fLock);
        return fChanged.wait_for(lock, timeout, [&] { return fMessages.size() >= count; });
    }
    size_t Count()
    {
        std::lock_guard lock(fLock);
        return fMessages.size();
    }
    std::vector<AReceivedMessage> Messages()
    {
        std::lock_guard lock(fLock);
        return fMessages;
    }

private:
    std::mutex fLock;
    std::condition_variable fChanged;
    std::vector<AReceivedMessage> fMessages;
};

// A local port served on its own thread and loop until the object goes.
class AServedPort {
public:
    AServedPort(std::string name, ALocalMessagePort::ACallout callout, void* info)
    {
        if (pipe(fStop) != 0)
            throw std::runtime_error("pipe failed");
        std::promise<bool> started;
        auto isServing = started.get_future();
        fThread = std::thread([this, name, callout, info, &started] {
            AEventLoop loop;
            auto port = ALocalMessagePort::Create(loop, name, callout, info);
            AEventSource stop = loop.AddIO(fStop[0], EPOLLIN, [&](uint32_t) { loop.Exit(0); });
            started.set_value(port != nullptr);
            if (port)
                loop.Run();
        });
        fServing = isServing.get();
    }
    ~AServedPort()
    {
        const char byte = 0;
        (void)!write(fStop[1], &byte, 1);
        fThread.join();
        close(fStop[0]);
        close(fStop[1]);
    }
    bool IsServing() const { return fServing; }

private:
    int fStop[2] = {-1, -1};
    std::thread fThread;
    bool fServing = false;
};

inline AMessageData EncodeIndex(uint32_t index)
{
    AMessageData bytes(sizeof index);
    std::memcpy(bytes.data(), &index, sizeof index);
    return bytes;
}

inline uint32_t DecodeIndex(const std::optional<AMessageData>& bytes)
{
    uint32_t index = UINT32_MAX;
    if (bytes && bytes->size() == sizeof index)
        std::memcpy(&index, bytes->data(), sizeof index);
    return index;
}

// Sends one message the way the agent does: look up, request, release.
inline AMessagePortStatus SendOnce(std::string_view name, int32_t messageId, const AMessageData* payload,
                                   std::optional<AMessageData>* reply = nullptr, double sendTimeout = 1.0,
                                   double receiveTimeout = 1.0)
{
    auto port = ARemoteMessagePort::Create(name);
    if (!port)
        return AMessagePortStatus::kIsInvalid;
    return port->SendRequest(messageId, payload, sendTimeout, receiveTimeout, reply);
}
