// nuvexactl set and set-presentation: change one device type's record the way
// the settings editor does when it saves (the device record with the maker's
// vendor identifier and the type's product identifier first, then the
// button's mapping), and save the whole store.

#include "nuvexactl/AAgentRequests.h"
#include "nuvexactl/ACommand.h"
#include "nuvexactl/AMappingArguments.h"
#include "prefs/APrefController.h"

#include <filesystem>

namespace {

// Every change the tool makes is saved here, and the agent told to reload,
// as the settings editor does. No session bus: no agent is listening, and
// one started later reads the saved file.
void SavePrefAndUpdateAgent(APrefController& store)
{
    store.FlushXml();
    PostReloadNotification();
}

// The device record as the editor writes it, keeping the record's events.
void UpdateDeviceRecord(APrefController& store, EDeviceType type, int32_t presentationType)
{
    store.AddOrUpdateDevice(type, kVendorID, GetPID(type), presentationType);
}

// The key-code list in its stored form, codes in "%d" joined by "|"; none
// when the text is not such a list.
std::optional<std::string> NormalizeKeyCodeList(std::string_view text)
{
    std::string list;
    while (true) {
        size_t bar = text.find('|');
        std::optional<int32_t> code = ParseDecimalArgument(text.substr(0, bar), 0, 0xFFFF);
        if (!code)
            return std::nullopt;
        list += (list.empty() ? "" : "|") + APrefController::FromInt(*code);
        if (bar == std::string_view::npos)
            return list;
        text.remove_prefix(bar + 1);
    }
}

// Scripts and applications are run later by the agent, from its own folder:
// a relative path is taken relative to where the user typed it.
std::string AbsolutePath(std::string_view path)
{
    return std::filesystem::absolute(std::filesystem::path(path)).lexically_normal().string();
}

// The argument stored for the launch type, or the problem with the one given.
struct ALaunchArgument {
    std::optional<std::string> fValue;
    std::string fProblem;
};

ALaunchArgument CheckLaunchArgument(ELaunchType launchType, std::optional<std::string_view> given)
{
    switch (launchType) {
    case kLaunchAppleScript:
    case kLaunchExec:
        if (!given || given->empty())
            return {std::nullopt, launchType == kLaunchExec ? "exec needs the path of an application or file"
                                                            : "applescript needs the path of a script"};
        return {AbsolutePath(*given), {}};
    case kLaunchKeystroke:
        if (!given || given->empty())
            return {std::string(), {}};
        if (std::optional<std::string> list = NormalizeKeyCodeList(*given))
            return {*list, {}};
        return {std::nullopt, "a key-stroke list is key codes (0 to 65535) joined by '|', such as 55|8"};
    case kLaunchPredefinedKeys:
        if (std::optional<int32_t> number = given ? ParseDecimalArgument(*given, 0, 13) : std::nullopt)
            return {APrefController::FromInt(*number), {}};
        return {std::nullopt, "predefinedkeys needs a function number from 0 to 13"};
    default:
        if (given && !given->empty())
            return {std::nullopt, "the default action takes no argument"};
        return {std::nullopt, {}};
    }
}

int RunSet(const ACommand& command, const std::vector<std::string_view>& arguments)
{
    AParsedArguments parsed;
    if (std::optional<int> done = ReadArguments(
            command, arguments, {{}, 3, 4, "expected a device type, a button, a launch type and maybe an argument"},
            parsed))
        return *done;
    const std::vector<std::string_view>& operands = parsed.fOperands;

    std::optional<EDeviceType> type = ParseDeviceTypeArgument(operands[0]);
    if (!type)
        return ReportUsageError(command, "unknown device type '" + std::string(operands[0]) + "'");
    std::optional<int32_t> buttonId = ParseButtonIdArgument(operands[1]);
    if (!buttonId)
        return ReportUsageError(command, "the button must be 4 or 5, not '" + std::string(operands[1]) + "'");
    std::optional<ELaunchType> launchType = ParseLaunchTypeArgument(operands[2]);
    if (!launchType)
        return ReportUsageError(command, "unknown launch type '" + std::string(operands[2]) + "'");
    std::optional<std::string_view> given;
    if (operands.size() == 4)
        given = operands[3];
    ALaunchArgument launchArg = CheckLaunchArgument(*launchType, given);
    if (!launchArg.fProblem.empty())
        return ReportUsageError(command, launchArg.fProblem);

    APrefController store;
    const ADevice* device = store.GetDevice(*type);
    UpdateDeviceRecord(store, *type, device != nullptr ? device->GetPresentationType() : 0);
    store.AddOrUpdateEvent(*type, *buttonId, *launchType, launchArg.fValue);
    SavePrefAndUpdateAgent(store);
    return kExitSuccess;
}

int RunSetPresentation(const ACommand& command, const std::vector<std::string_view>& arguments)
{
    AParsedArguments parsed;
    if (std::optional<int> done =
            ReadArguments(command, arguments, {{}, 2, 2, "expected a device type and a presentation type"}, parsed))
        return *done;
    const std::vector<std::string_view>& operands = parsed.fOperands;

    std::optional<EDeviceType> type = ParseDeviceTypeArgument(operands[0]);
    if (!type)
        return ReportUsageError(command, "unknown device type '" + std::string(operands[0]) + "'");
    std::optional<int32_t> presentationType = ParseDecimalArgument(operands[1], 0, 1);
    if (!presentationType)
        return ReportUsageError(command, "the presentation type must be 0 or 1, not '" + std::string(operands[1]) + "'");

    APrefController store;
    UpdateDeviceRecord(store, *type, *presentationType);
    SavePrefAndUpdateAgent(store);
    return kExitSuccess;
}

} // namespace

const ACommand kSetCommand = {
    "set",
    RunSet,
    "map a button of a device type to an action",
    "Usage: nuvexactl set <device-type> <button> <launch-type> [<argument>]\n"
    "\n"
    "Maps one button of a device type to an action and saves the mapping file,\n"
    "as the settings editor does.\n"
    "\n"
    "  <device-type>  rfmouse, btmouse or presenter (or 0, 1, 2)\n"
    "  <button>       4 or 5\n"
    "  <launch-type>  one of these (or its number, 0 to 4), with its argument:\n"
    "                   default          no argument: browser back (4), forward (5)\n"
    "                   applescript      the path of a script to run\n"
    "                   exec             the path of an application or file to open\n"
    "                   keystroke        key codes joined by '|', such as 55|8\n"
    "                   predefinedkeys   a predefined function number, 0 to 13\n"
    "  --help         print this help\n"
    "\n"
    "Relative paths are stored as absolute ones.\n",
};

const ACommand kSetPresentationCommand = {
    "set-presentation",
    RunSetPresentation,
    "choose how the presenter's presentation key starts a slide show",
    "Usage: nuvexactl set-presentation <device-type> <0|1>\n"
    "\n"
    "Sets the presentation type of a device type and saves the mapping file,\n"
    "keeping the device type's button mappings.\n"
    "\n"
    "  <device-type>  rfmouse, btmouse or presenter (or 0, 1, 2)\n"
    "  0              the presentation key types the slide-show key combination\n"
    "  1              the presentation key runs the slide-show script\n"
    "  --help         print this help\n",
};
