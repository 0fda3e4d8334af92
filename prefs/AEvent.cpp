#include "prefs/AEvent.h"

void AEvent::SetLaunchType(ELaunchType launchType, std::optional<std::string_view> launchArg)
{
    fLaunchType = launchType;
    fLaunchArg.assign(launchArg.value_or(std::string_view()));
}
