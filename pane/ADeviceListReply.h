#pragma once
// The agent's device list, as the settings application reads its reply on
// "MouseListPort": every element child of the root, in document order and
// whatever its name, is one open device, and its attribute "type" read as a
// leading decimal integer is the device type; nothing else is looked at.
// Comments and text between the elements are no devices.

#include "prefs/ATypes.h"

#include <cstdint>
#include <span>
#include <vector>

// Throws AException "AMainPrefController" / "Error loading preferences" when
// the reply holds no document element, and AException "XMLParser" with the
// parser's description when the XML is malformed.
std::vector<EDeviceType> ReadDeviceListReply(std::span<const uint8_t> reply);

// Asks the agent; empty when no agent serves the port, the request fails or
// times out, or the agent sends no data. Throws as ReadDeviceListReply.
std::vector<EDeviceType> RequestDeviceList();
