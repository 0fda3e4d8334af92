#include "platform/bus/ADistributedNotificationCenter.h"

#include "platform/bus/ADBusNames.h"

#include <systemd/sd-bus.h>

#include <list>

namespace {

// How long a centre without a loop, or one being destroyed, waits for the
// bus daemon to handle what it posted.
constexpr uint64_t kDeliveryTimeoutUsec = 1'000'000;

// Waits, at most the time-out, until the bus daemon has handled everything
// sent before: it answers a ping only after the messages ahead of it. Having
// written them is not enough for a process about to close its connection:
// under load the daemon can drop a new connection's last signal when the
// connection closes right after writing it.
bool AwaitDelivery(sd_bus* bus)
{
    sd_bus_message* ping = nullptr;
    sd_bus_message* reply = nullptr;
    int result = sd_bus_message_new_method_call(bus, &ping, kBusDaemonService, kBusDaemonPath, kPeerInterface,
                                                kPeerPing);
    if (result >= 0)
        result = sd_bus_call(bus, ping, kDeliveryTimeoutUsec, nullptr, &reply);
    sd_bus_message_unref(reply);
    sd_bus_message_unref(ping);
    return result >= 0;
}

// A match-rule argument, or nothing when the value holds a quote or a
// backslash, whose escaping in match rules is easy to get wrong between the
// library and the daemon; such a value is compared in the callback only
// (every value is compared there anyway).
std::string MatchArgument(int index, std::string_view value)
{
    if (value.find_first_of("'\\") != std::string_view::npos)
        return {};
    return ",arg" + std::to_string(index) + "='" + std::string(value) + "'";
}

} // namespace

struct ADistributedNotificationCenter::AState {
    struct AObservation {
        AObservation() = default;
        AObservation(const AObservation&) = delete;
        AObservation& operator=(const AObservation&) = delete;
        ~AObservation() { sd_bus_slot_unref(fSlot); }

        ADistributedNotificationCenter* fCenter = nullptr;
        void* fObserver = nullptr;
        ACallback fCallback = nullptr;
        std::string fName;
        std::optional<std::string> fObject;  // none: any object
        sd_bus_slot* fSlot = nullptr;
    };

    static int OnSignal(sd_bus_message* message, void* userdata, sd_bus_error* error);

    AEventLoop* fLoop = nullptr;
    sd_bus* fBus = nullptr;
    std::list<AObservation> fObservations;
};

int ADistributedNotificationCenter::AState::OnSignal(sd_bus_message* message, void* userdata, sd_bus_error*)
{
    const auto* observation = static_cast<const AObservation*>(userdata);
    const char* name = nullptr;
    const char* object = nullptr;
    if (sd_bus_message_read(message, "ss", &name, &object) < 0)
        return 0;  // not a notification of ours; ignored
    if (observation->fName != name || (observation->fObject && *observation->fObject != object))
        return 0;
    // The callback may remove this very observation; nothing of it is used afterwards.
    observation->fCallback(observation->fCenter, observation->fObserver, name, object);
    return 0;
}

ADistributedNotificationCenter::ADistributedNotificationCenter(AEventLoop* loop) : fState(std::make_unique<AState>())
{
    fState->fLoop = loop;
    sd_bus* bus = nullptr;
    // No session bus is a normal state here: every operation becomes a no-op.
    if (sd_bus_open_user(&bus) < 0)
        return;
    if (loop != nullptr && sd_bus_attach_event(bus, loop->Get(), SD_EVENT_PRIORITY_NORMAL) < 0) {
        sd_bus_close_unref(bus);
        return;
    }
    fState->fBus = bus;
}

ADistributedNotificationCenter::~ADistributedNotificationCenter()
{
    fState->fObservations.clear();
    if (fState->fBus == nullptr)
        return;
    if (fState->fLoop != nullptr)
        sd_bus_detach_event(fState->fBus);
    // What the bus has not handled yet is dropped after the time-out.
    (void)AwaitDelivery(fState->fBus);
    sd_bus_close_unref(fState->fBus);
}

bool ADistributedNotificationCenter::IsConnected() const
{
    return fState->fBus != nullptr && sd_bus_is_open(fState->fBus) > 0;
}

bool ADistributedNotificationCenter::PostNotification(std::string_view name, std::optional<std::string_view> object)
{
    if (!IsConnected())
        return false;
    const std::string nameText(name);
    const std::string objectText(object.value_or(""));
    if (sd_bus_emit_signal(fState->fBus, kNotificationPath, kNotificationInterface, kNotificationMember, "ss",
                           nameText.c_str(), objectText.c_str()) < 0)
        return false;
    // On a loop the message is written at once when the socket takes it, and
    // by the loop otherwise; waiting here could run observers from inside
    // the post.
    return fState->fLoop != nullptr || AwaitDelivery(fState->fBus);
}

bool ADistributedNotificationCenter::AddObserver(void* observer, ACallback callback, std::string_view name,
                                                 std::optional<std::string_view> object)
{
    if (!IsConnected() || fState->fLoop == nullptr || callback == nullptr)
        return false;
    for (auto& observation : fState->fObservations) {
        if (observation.fObserver == observer && observation.fName == name && observation.fObject == object) {
            observation.fCallback = callback;
            return true;
        }
    }
    auto& observation = fState->fObservations.emplace_back();
    observation.fCenter = this;
    observation.fObserver = observer;
    observation.fCallback = callback;
    observation.fName = name;
    if (object)
        observation.fObject.emplace(*object);
    // The bus filters on the name (arg0) and, when one is given, the object
    // (arg1), so unrelated notifications never wake this process.
    const std::string rule = std::string("type='signal',path='") + kNotificationPath + "',interface='" +
                             kNotificationInterface + "',member='" + kNotificationMember + "'" +
                             MatchArgument(0, name) + (object ? MatchArgument(1, *object) : std::string());
    if (sd_bus_add_match(fState->fBus, &observation.fSlot, rule.c_str(), AState::OnSignal, &observation) < 0) {
        fState->fObservations.pop_back();
        return false;
    }
    return true;
}

void ADistributedNotificationCenter::RemoveObserver(void* observer, std::string_view name,
                                                    std::optional<std::string_view> object)
{
    fState->fObservations.remove_if([&](const AState::AObservation& observation) {
        return observation.fObserver == observer && observation.fName == name && observation.fObject == object;
    });
}
