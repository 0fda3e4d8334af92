#include "tests/prefs/APrefsTestSupport.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

std::string DescribeStore(const APrefController& store)
{
    std::string text;
    for (const auto& [type, device] : store.GetDevices()) {
        text += std::to_string(type) + " " + std::to_string(device.GetDeviceVID()) + " " +
                std::to_string(device.GetDevicePID()) + " " + std::to_string(device.GetPresentationType()) + ":";
        for (const auto& [id, event] : device.GetEvents())
            text += " " + std::to_string(id) + "/" + std::to_string(event.GetLaunchType()) + "/" + event.GetLaunchArg();
        text += "\n";
    }
    return text;
}

AChildCheck::AChildCheck(const std::function<std::string()>& check)
{
    int channel[2];
    if (pipe2(channel, O_CLOEXEC) != 0) {
        fStartProblem = "pipe failed";
        return;
    }
    fChild = fork();
    if (fChild < 0) {
        close(channel[0]);
        close(channel[1]);
        fStartProblem = "fork failed";
        return;
    }
    if (fChild == 0) {
        close(channel[0]);
        std::string result;
        try {
            result = check();
        } catch (const std::exception& failure) {
            result = std::string("exception: ") + failure.what();
        }
        for (size_t done = 0; done < result.size();) {
            ssize_t written = write(channel[1], result.data() + done, result.size() - done);
            if (written <= 0)
                _exit(3);
            done += static_cast<size_t>(written);
        }
        _exit(0);
    }
    close(channel[1]);
    fChannel = channel[0];
}

AChildCheck::~AChildCheck()
{
    if (fChild > 0)
        Wait();
}

bool AChildCheck::IsRunning()
{
    if (fChild <= 0 || fReaped)
        return false;
    pid_t done = waitpid(fChild, &fStatus, WNOHANG);
    if (done == fChild)
        fReaped = true;
    return !fReaped;
}

std::string AChildCheck::Wait()
{
    if (!fStartProblem.empty())
        return fStartProblem;
    std::string result;
    char buffer[4096];
    while (fChannel >= 0) {
        ssize_t count = read(fChannel, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0) {
            close(fChannel);
            fChannel = -1;
            break;
        }
        result.append(buffer, static_cast<size_t>(count));
    }
    while (!fReaped) {
        if (waitpid(fChild, &fStatus, 0) == fChild || errno != EINTR)
            fReaped = true;
    }
    fChild = -1;
    if (!WIFEXITED(fStatus) || WEXITSTATUS(fStatus) != 0)
        result += "child ended abnormally (status " + std::to_string(fStatus) + ")";
    return result;
}

std::string ListFolder(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    std::string text;
    for (const std::string& name : names)
        text += (text.empty() ? "" : " ") + name;
    return text;
}
