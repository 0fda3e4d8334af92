// nuvexactl keys: plays a key-code list through the agent's virtual keyboard,
// exactly as a key-stroke mapping plays it. The list goes to the agent's
// "KeyStrokePort" and the tool returns without waiting, so a script the agent
// runs can use it without holding the agent up.

#include "nuvexactl/AAgentRequests.h"
#include "nuvexactl/ACommand.h"
#include "nuvexactl/AMappingArguments.h"
#include "platform/ports/AMessagePort.h"

#include <array>
#include <cstdio>

namespace {

// Command 55, Shift 56, Caps Lock 57, Option 58, Control 59: each occurs in
// pairs, down and then up.
constexpr std::array<int32_t, 5> kModifierCodes = {55, 56, 57, 58, 59};

// The problem with a key-code list, or the empty string when it is one.
std::string CheckKeyCodeList(std::string_view list)
{
    std::array<int, kModifierCodes.size()> occurrences{};
    while (true) {
        const size_t bar = list.find('|');
        const std::string_view piece = list.substr(0, bar);
        const std::optional<int32_t> code = ParseDecimalArgument(piece, 0, 0xFFFF);
        if (!code)
            return "'" + std::string(piece) + "' is not a key code (0 to 65535)";
        for (size_t i = 0; i < kModifierCodes.size(); ++i)
            occurrences[i] += *code == kModifierCodes[i] ? 1 : 0;
        if (bar == std::string_view::npos)
            break;
        list.remove_prefix(bar + 1);
    }
    for (size_t i = 0; i < kModifierCodes.size(); ++i) {
        if (occurrences[i] % 2 != 0)
            return "modifier " + std::to_string(kModifierCodes[i]) +
                   " must occur in pairs (down, then up), as in 56|55|20|55|56";
    }
    return {};
}

int RunKeys(const ACommand& command, const std::vector<std::string_view>& arguments)
{
    AParsedArguments parsed;
    if (std::optional<int> done = ReadArguments(command, arguments, {{}, 1, 1, "expected one key-code list"}, parsed))
        return *done;
    const std::string_view list = parsed.fOperands[0];
    if (const std::string problem = CheckKeyCodeList(list); !problem.empty())
        return ReportUsageError(command, problem);

    auto port = ARemoteMessagePort::Create(kKeyStrokePortName);
    if (!port) {
        std::fputs("nuvexactl keys: the agent is not running (start it with: systemctl --user start "
                   "nuvexa-agent.service)\n",
                   stderr);
        return kExitFailure;
    }
    const AMessageData payload(list.begin(), list.end());
    if (port->SendRequest(kAgentRequestMessageId, &payload, kAgentSendTimeout, kAgentReceiveTimeout, nullptr) !=
        AMessagePortStatus::kSuccess) {
        std::fputs("nuvexactl keys: the agent did not take the key strokes\n", stderr);
        return kExitFailure;
    }
    return kExitSuccess;
}

} // namespace

const ACommand kKeysCommand = {
    "keys",
    RunKeys,
    "type a key-code list through the agent",
    "Usage: nuvexactl keys <key-codes>\n"
    "\n"
    "Types the keys through the running agent's virtual keyboard, as a\n"
    "key-stroke mapping would, and returns without waiting for it.\n"
    "\n"
    "  <key-codes>  key codes joined by '|'; each modifier occurs twice, pressed\n"
    "               then released: 55 Command (Super), 56 Shift, 57 Caps Lock,\n"
    "               58 Option (Alt), 59 Control. 56|55|20|55|56 is Shift+Super+3\n"
    "  --help       print this help\n",
};
