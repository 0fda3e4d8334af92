#pragma once
// The product's display name: the title of the agent's start-up alert, the
// application name of its notifications and the title of the settings
// application's update alerts.
inline constexpr const char* kProductDisplayName = "Nuvexa Device Controller";
