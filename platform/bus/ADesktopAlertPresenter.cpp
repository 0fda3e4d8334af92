#include "platform/bus/ADesktopAlertPresenter.h"

#include "platform/bus/ADBusNames.h"
#include "base/ATextDecoding.h"
#include "base/AProduct.h"

#include <cerrno>
#include <memory>
#include <optional>
#include <string_view>
#include <systemd/sd-bus.h>
#include <time.h>

namespace {

struct ABusCloser {
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
struct AMessageReleaser {
    void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
struct ASlotReleaser {
    void operator()(sd_bus_slot* slot) const { sd_bus_slot_unref(slot); }
};
using ABus = std::unique_ptr<sd_bus, ABusCloser>;
using AMessage = std::unique_ptr<sd_bus_message, AMessageReleaser>;
using ASlot = std::unique_ptr<sd_bus_slot, ASlotReleaser>;

uint64_t NowUsec()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000u + static_cast<uint64_t>(now.tv_nsec) / 1000u;
}

int KeepReply(sd_bus_message* reply, void* userdata, sd_bus_error*)
{
    *static_cast<AMessage*>(userdata) = AMessage(sd_bus_message_ref(reply));
    return 0;
}

// Sends `call` and serves the connection (its authentication included, which
// a plain synchronous call would wait for without our limit) until the reply
// arrives or the deadline passes. Returns the successful reply, or null.
AMessage CallBefore(sd_bus* bus, sd_bus_message* call, uint64_t deadlineUsec)
{
    uint64_t now = NowUsec();
    if (now >= deadlineUsec)
        return nullptr;
    AMessage reply;
    sd_bus_slot* rawSlot = nullptr;
    if (sd_bus_call_async(bus, &rawSlot, call, KeepReply, &reply, deadlineUsec - now) < 0)
        return nullptr;
    ASlot slot(rawSlot);
    while (!reply) {
        int processed = sd_bus_process(bus, nullptr);
        if (processed < 0)
            return nullptr;
        if (processed > 0)
            continue;
        now = NowUsec();
        if (now >= deadlineUsec || sd_bus_wait(bus, deadlineUsec - now) < 0)
            return nullptr;
    }
    if (sd_bus_message_is_method_error(reply.get(), nullptr))
        return nullptr;
    return reply;
}

AMessage NewCall(sd_bus* bus, const char* member)
{
    sd_bus_message* call = nullptr;
    if (sd_bus_message_new_method_call(bus, &call, kDesktopNotificationsService, kDesktopNotificationsPath,
                                       kDesktopNotificationsInterface, member) < 0)
        return nullptr;
    return AMessage(call);
}

// Whether the service reads the body as markup; null when it did not answer.
std::optional<bool> ReadsBodyAsMarkup(sd_bus* bus, uint64_t deadlineUsec)
{
    AMessage call = NewCall(bus, kDesktopNotificationsGetCapabilities);
    if (!call)
        return std::nullopt;
    AMessage reply = CallBefore(bus, call.get(), deadlineUsec);
    if (!reply || sd_bus_message_enter_container(reply.get(), 'a', "s") < 0)
        return std::nullopt;
    bool markup = false;
    const char* capability = nullptr;
    while (sd_bus_message_read(reply.get(), "s", &capability) > 0)
        markup = markup || std::string_view(capability) == kDesktopNotificationsBodyMarkup;
    return markup;
}

std::string EscapeMarkup(const std::string& text)
{
    std::string escaped;
    for (char c : text) {
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        default: escaped += c;
        }
    }
    return escaped;
}

} // namespace

ADesktopAlertPresenter::ADesktopAlertPresenter(std::chrono::milliseconds timeout, int fallbackFd)
    : fTimeout(timeout), fFallbackFd(fallbackFd)
{
}

void ADesktopAlertPresenter::ShowAlert(const std::string& title, const std::string& message)
{
    if (!Notify(title, message))
        WriteFallback(title, message);
}

bool ADesktopAlertPresenter::Notify(const std::string& title, const std::string& message) const
{
    const uint64_t deadline =
        NowUsec() + static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(fTimeout).count());
    sd_bus* rawBus = nullptr;
    if (sd_bus_open_user(&rawBus) < 0)
        return false;
    ABus bus(rawBus);
    std::optional<bool> markup = ReadsBodyAsMarkup(bus.get(), deadline);
    if (!markup)
        return false;
    // D-Bus strings must be valid UTF-8 without NUL bytes.
    const std::string summary = DecodeUTF8Lossy(title);
    std::string body = DecodeUTF8Lossy(message);
    if (*markup)
        body = EscapeMarkup(body);
    AMessage call = NewCall(bus.get(), kDesktopNotificationsNotify);
    if (!call)
        return false;
    // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout
    if (sd_bus_message_append(call.get(), "susssasa{sv}i", kProductDisplayName, 0u, "", summary.c_str(), body.c_str(),
                              0, 0, -1) < 0)
        return false;
    return CallBefore(bus.get(), call.get(), deadline) != nullptr;
}

void ADesktopAlertPresenter::WriteFallback(const std::string& title, const std::string& message) const
{
    std::string line = title + ": " + message;
    if (line.back() != '\n')
        line += '\n';
    size_t written = 0;
    while (written < line.size()) {
        ssize_t result = write(fFallbackFd, line.data() + written, line.size() - written);
        if (result < 0 && errno == EINTR)
            continue;
        if (result <= 0)
            return;  // nowhere left to show it
        written += static_cast<size_t>(result);
    }
}

AAlertPresenter& DesktopAlertPresenter()
{
    static ADesktopAlertPresenter presenter;
    return presenter;
}
