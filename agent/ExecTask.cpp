#include "agent/ExecTask.h"

#include "platform/process/AChildProcess.h"
#include "base/ATextDecoding.h"

#include <exception>

namespace {

bool NamesDesktopEntry(const std::string& path)
{
    static constexpr std::string_view kSuffix = ".desktop";
    return path.size() > kSuffix.size() && path.ends_with(kSuffix);
}

} // namespace

void ExecTask(const std::string* path, AAlertPresenter& presenter, std::chrono::milliseconds waitLimit)
{
    if (path == nullptr)
        return;
    try {
        const std::string target = path->starts_with('-') ? "./" + *path : *path;
        AChildProcess launcher;
        AChildProcess::AOptions options;
        options.fSearchPath = true;
        options.fCaptureError = true;
        const bool started = NamesDesktopEntry(*path) ? launcher.Start("gio", {"launch", target}, options)
                                                      : launcher.Start("xdg-open", {target}, options);
        if (!started) {
            presenter.ShowAlert(kLaunchErrorTitle, "");
            return;
        }
        if (!launcher.Wait(waitLimit))
            launcher.Detach();
        const std::string text = DecodeUTF8Lossy(launcher.ErrorOutput());
        if (!text.empty())
            presenter.ShowAlert(kLaunchErrorTitle, text);
    } catch (const std::exception&) {
        try {
            presenter.ShowAlert(kLaunchErrorTitle, "");
        } catch (const std::exception&) {
            // An alert that cannot be shown is dropped: ExecTask raises nothing.
        }
    }
}
