#pragma once
// ExecTask opens a file, folder, address or application as if the user had
// double-clicked it: it runs the desktop's launcher with the path as its one
// argument, captures the launcher's standard error, and when that holds any
// text shows it in the alert "Launch Error" (as written, never as a format).
// It raises nothing; an absent path (null) does nothing at all.
//
//   - the launcher is `xdg-open <path>`, found on PATH; a path ending in
//     ".desktop" names an application and is started with
//     `gio launch <path>` (GLib's desktop-entry launcher), not opened as text;
//   - the path is passed unchanged, except that one starting with "-" gets
//     "./" in front (the same file), so the launcher cannot read it as an
//     option;
//   - the launcher's exit status is not examined, only its error output;
//     bytes that are not valid UTF-8 are shown as U+FFFD;
//   - a launcher that cannot be started gives the alert with an empty message;
//   - the wait ends when the launcher exits; an application it started that
//     keeps the error stream open does not hold the agent, and a launcher
//     still running after `waitLimit` (xdg-open on a desktop it does not
//     know runs the application itself, in the foreground) is left to finish
//     on its own: what it wrote so far decides the alert, and it is reaped in
//     the background.

#include "platform/bus/AAlertPresenter.h"
#include "platform/bus/ADesktopAlertPresenter.h"

#include <chrono>
#include <string>

inline constexpr const char* kLaunchErrorTitle = "Launch Error";
inline constexpr std::chrono::milliseconds kLauncherWaitLimit{5000};

void ExecTask(const std::string* path, AAlertPresenter& presenter = DesktopAlertPresenter(),
              std::chrono::milliseconds waitLimit = kLauncherWaitLimit);
