// nuvexactl show: every device record of "mapping.xml" with its button
// mappings, devices by ascending type and buttons by ascending identifier.

#include "nuvexactl/ACommand.h"
#include "nuvexactl/AJsonWriter.h"
#include "prefs/APrefController.h"

namespace {

std::string FormatHuman(const APrefController& store)
{
    std::string text = "mapping file: " + store.GetXmlPath() + "\n";
    if (store.GetDevices().empty())
        text += "no device mappings\n";
    for (const auto& [type, device] : store.GetDevices()) {
        std::string description = device.GetDeviceTypeDescription();
        if (description.empty())
            description = "device type " + APrefController::FromInt(type);
        text += description + " (" + APrefController::FromDeviceType(type) + "): vendor " +
                std::to_string(device.GetDeviceVID()) + ", product " + std::to_string(device.GetDevicePID()) +
                ", presentation type " + APrefController::FromInt(device.GetPresentationType()) + "\n";
        if (device.GetEvents().empty())
            text += "  no button mappings\n";
        for (const auto& [buttonId, event] : device.GetEvents()) {
            text += "  button " + APrefController::FromInt(buttonId) + ": " +
                    APrefController::FromLaunchType(event.GetLaunchType());
            if (!event.GetLaunchArg().empty())
                text += " " + AJsonWriter::Quote(event.GetLaunchArg());
            text += "\n";
        }
    }
    return text;
}

std::string FormatJson(const APrefController& store)
{
    AJsonWriter json;
    json.BeginObject();
    json.Key("devices");
    json.BeginArray();
    for (const auto& [type, device] : store.GetDevices()) {
        json.BeginObject();
        json.Key("device_type");
        json.String(APrefController::FromDeviceType(type));
        json.Key("type");
        json.Number(type);
        json.Key("vid");
        json.Number(device.GetDeviceVID());
        json.Key("pid");
        json.Number(device.GetDevicePID());
        json.Key("presentation_type");
        json.Number(device.GetPresentationType());
        json.Key("events");
        json.BeginArray();
        for (const auto& [buttonId, event] : device.GetEvents()) {
            json.BeginObject();
            json.Key("id");
            json.Number(buttonId);
            json.Key("launch_type");
            json.String(APrefController::FromLaunchType(event.GetLaunchType()));
            json.Key("launch_arg");
            json.String(event.GetLaunchArg());
            json.EndObject();
        }
        json.EndArray();
        json.EndObject();
    }
    json.EndArray();
    json.EndObject();
    return json.GetText() + "\n";
}

int RunShow(const ACommand& command, const std::vector<std::string_view>& arguments)
{
    AParsedArguments parsed;
    if (std::optional<int> done = ReadArguments(command, arguments, {{"--json"}, 0, 0, {}}, parsed))
        return *done;
    const bool json = !parsed.fOptions.empty();

    APrefController store;
    WriteOutput(json ? FormatJson(store) : FormatHuman(store));
    return kExitSuccess;
}

} // namespace

const ACommand kShowCommand = {
    "show",
    RunShow,
    "print every device's button mappings",
    "Usage: nuvexactl show [--json]\n"
    "\n"
    "Prints every device record of the mapping file with its button mappings,\n"
    "devices by device type and buttons by identifier.\n"
    "\n"
    "  --json   print one JSON object instead: {\"devices\":[...]}, each device\n"
    "           with \"device_type\" (its name), \"type\", \"vid\", \"pid\",\n"
    "           \"presentation_type\" and \"events\", each event with \"id\",\n"
    "           \"launch_type\" (its name) and \"launch_arg\"\n"
    "  --help   print this help\n",
};
