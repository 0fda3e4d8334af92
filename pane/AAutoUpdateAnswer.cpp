#include "pane/AAutoUpdateAnswer.h"

#include "prefs/ALeadingInteger.h"

#include <pugixml.hpp>

#include <strings.h>

std::optional<AAutoUpdateAnswer> ReadAutoUpdateAnswer(QByteArrayView bytes)
{
    pugi::xml_document document;
    // The default options leave out the DOCTYPE and expand only the
    // predefined entities and character references.
    if (!document.load_buffer(bytes.data(), static_cast<size_t>(bytes.size()), pugi::parse_default))
        return std::nullopt;
    const pugi::xml_node root = document.document_element();
    if (!root)
        return std::nullopt;
    AAutoUpdateAnswer answer;
    for (const pugi::xml_node& child : root.children()) {
        if (child.type() != pugi::node_element)
            continue;
        if (strcasecmp(child.name(), "latest_build") == 0)
            answer.fLatestBuild = ReadLeadingInteger(child.text().get());
        else if (strcasecmp(child.name(), "download_url") == 0)
            answer.fDownloadUrl = QString::fromUtf8(child.text().get());
    }
    return answer;
}
