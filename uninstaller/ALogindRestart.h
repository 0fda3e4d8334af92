#pragma once
// Asks logind on the system bus to restart the computer:
// org.freedesktop.login1.Manager.Reboot, interactive, so that polkit may ask
// for a password when other users are logged in. Returns 0 once logind has
// accepted the request, else a negative errno (no system bus, no logind, or
// the request refused).

int RequestRestartFromLogind();
