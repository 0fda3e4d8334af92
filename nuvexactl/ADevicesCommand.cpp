// nuvexactl devices: the devices the agent has open, as its device list
// service on "MouseListPort" reports them, in the agent's order.

#include "nuvexactl/AAgentRequests.h"
#include "nuvexactl/ACommand.h"
#include "nuvexactl/AJsonWriter.h"
#include "platform/ports/AMessagePort.h"
#include "prefs/ADevice.h"
#include "prefs/ALeadingInteger.h"

#include <pugixml.hpp>

#include <cstdio>
#include <optional>

namespace {

// The device types of a reply: every child element of the root, whatever its
// name, with its "type" read as a leading integer. None when the reply is no
// XML document.
std::optional<std::vector<EDeviceType>> ReadDeviceList(const AMessageData& reply)
{
    pugi::xml_document document;
    if (!document.load_buffer(reply.data(), reply.size()))
        return std::nullopt;
    std::vector<EDeviceType> types;
    for (const pugi::xml_node& child : document.document_element().children()) {
        if (child.type() == pugi::node_element)
            types.push_back(ReadLeadingInteger(child.attribute("type").value()));
    }
    return types;
}

std::string FormatHuman(const std::vector<EDeviceType>& types)
{
    if (types.empty())
        return "no devices\n";
    std::string text;
    for (const EDeviceType type : types) {
        ADevice device;
        device.SetDeviceType(type);
        std::string name = device.GetDeviceTypeDescription();
        if (name.empty())
            name = "Unknown device of the maker";
        text += name + " (type " + std::to_string(type) + ")\n";
    }
    return text;
}

std::string FormatJson(const std::vector<EDeviceType>& types)
{
    AJsonWriter json;
    json.BeginObject();
    json.Key("devices");
    json.BeginArray();
    for (const EDeviceType type : types) {
        json.BeginObject();
        json.Key("type");
        json.Number(type);
        json.EndObject();
    }
    json.EndArray();
    json.EndObject();
    return json.GetText() + "\n";
}

int RunDevices(const ACommand& command, const std::vector<std::string_view>& arguments)
{
    AParsedArguments parsed;
    if (std::optional<int> done = ReadArguments(command, arguments, {{"--json"}, 0, 0, "takes no arguments"}, parsed))
        return *done;
    const bool json = !parsed.fOptions.empty();

    std::vector<EDeviceType> types;
    // No agent running (or asleep): no device is open.
    if (auto port = ARemoteMessagePort::Create(kMouseListPortName)) {
        std::optional<AMessageData> reply;
        const AMessagePortStatus status =
            port->SendRequest(kAgentRequestMessageId, nullptr, kAgentSendTimeout, kAgentReceiveTimeout, &reply);
        if (status != AMessagePortStatus::kSuccess || !reply) {
            std::fputs("nuvexactl devices: the agent did not answer\n", stderr);
            return kExitFailure;
        }
        std::optional<std::vector<EDeviceType>> listed = ReadDeviceList(*reply);
        if (!listed) {
            std::fputs("nuvexactl devices: the agent's answer is not a device list\n", stderr);
            return kExitFailure;
        }
        types = std::move(*listed);
    }
    WriteOutput(json ? FormatJson(types) : FormatHuman(types));
    return kExitSuccess;
}

} // namespace

const ACommand kDevicesCommand = {
    "devices",
    RunDevices,
    "list the devices the agent has open",
    "Usage: nuvexactl devices [--json]\n"
    "\n"
    "Asks the running agent which devices it has open, in the order they\n"
    "arrived. With no agent running, no device is listed.\n"
    "\n"
    "  --json  print {\"devices\":[{\"type\":0},...]} instead of names\n"
    "  --help  print this help\n",
};
