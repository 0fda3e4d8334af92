#include "pane/ADeviceListReply.h"

#include "base/AMessageNames.h"
#include "platform/ports/AMessagePort.h"
#include "prefs/AException.h"
#include "prefs/ALeadingInteger.h"

#include <pugixml.hpp>

std::vector<EDeviceType> ReadDeviceListReply(std::span<const uint8_t> reply)
{
    pugi::xml_document document;
    const pugi::xml_parse_result result = document.load_buffer(reply.data(), reply.size());
    if (!result && result.status != pugi::status_no_document_element)
        throw AException("XMLParser", result.description());
    const pugi::xml_node root = document.document_element();
    if (!root)
        throw AException("AMainPrefController", "Error loading preferences");
    std::vector<EDeviceType> types;
    for (const pugi::xml_node& child : root.children()) {
        if (child.type() == pugi::node_element)
            types.push_back(ReadLeadingInteger(child.attribute("type").value()));
    }
    return types;
}

std::vector<EDeviceType> RequestDeviceList()
{
    std::unique_ptr<ARemoteMessagePort> port = ARemoteMessagePort::Create(kMouseListPortName);
    if (!port)
        return {};
    std::optional<AMessageData> reply;
    const AMessagePortStatus status =
        port->SendRequest(kAgentRequestMessageId, nullptr, kAgentSendTimeout, kAgentReceiveTimeout, &reply);
    if (status != AMessagePortStatus::kSuccess || !reply || reply->empty())
        return {};
    return ReadDeviceListReply(*reply);
}
